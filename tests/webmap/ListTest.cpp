#include "app/Folders.h"
#include "common/ScriptedDialogs.h"
#include "webmap/WebMapList.h"

#include <gtest/gtest.h>

namespace {

TEST(WebMapList, RemovingAsksFirstAndKeepsTheOrder) {
    QVector<TWebMapPath> list = {{QStringLiteral("A"), QStringLiteral("a.html")},
                                 {QStringLiteral("Схема \"Б\""), QStringLiteral("b.html")},
                                 {QStringLiteral("C"), QStringLiteral("c.html")}};
    TScriptedDialogs d;
    d.answers = {mbNo, mbYes};
    EXPECT_FALSE(RemoveWebMapEntry(list, 1, d));
    EXPECT_EQ(list.size(), 3);
    EXPECT_TRUE(RemoveWebMapEntry(list, 1, d));
    EXPECT_EQ(list, (QVector<TWebMapPath>{{QStringLiteral("A"), QStringLiteral("a.html")},
                                          {QStringLiteral("C"), QStringLiteral("c.html")}}));
    ASSERT_EQ(d.calls.size(), 2u);
    EXPECT_EQ(d.calls[1].text,
              QStringLiteral("Вы уверены, что хотите удалить карту \"Схема \"Б\"\"?"));
    EXPECT_EQ(d.calls[1].caption, QStringLiteral("Удаление карты из списка"));
    EXPECT_EQ(d.calls[1].icon, TMsgIcon::Question);
    EXPECT_EQ(d.calls[1].buttons, TMsgButtons(mbYes | mbNo));
    EXPECT_FALSE(RemoveWebMapEntry(list, 2, d)); // no such entry: nothing asked
    d.expectDone();

    // The default page index after the list changed.
    EXPECT_EQ(RevalidatedDefaultWebMap(list, 1), 1);
    EXPECT_EQ(RevalidatedDefaultWebMap(list, 2), 0);
    EXPECT_EQ(RevalidatedDefaultWebMap(list, -1), -1);
}

TEST(WebMapList, BrowsingGivesAnAddressInsideTheWebMapFolder) {
    TFolders f;
    f.WebServerDir = QStringLiteral("/opt/zarnex/webmap/");
    SetFolders(f);
    TScriptedDialogs d;
    d.files = {{QStringLiteral("/opt/zarnex/webmap/osm/city.map.html")},
               {QStringLiteral("/opt/zarnex/webmap/b.htm")},
               {}};
    QString name, address;
    ASSERT_TRUE(BrowseWebMapPage(name, address, d));
    EXPECT_EQ(address, QStringLiteral("osm/city.map.html"));
    EXPECT_EQ(name, QStringLiteral("city.map"));

    name = QStringLiteral("Моя");
    ASSERT_TRUE(BrowseWebMapPage(name, address, d));
    EXPECT_EQ(address, QStringLiteral("b.htm"));
    EXPECT_EQ(name, QStringLiteral("Моя"));
    // The dialog opened on the current address.
    EXPECT_TRUE(
        d.calls[1].text.startsWith(QStringLiteral("/opt/zarnex/webmap/osm/city.map.html|")));

    EXPECT_FALSE(BrowseWebMapPage(name, address, d)); // cancelled: fields unchanged
    EXPECT_EQ(address, QStringLiteral("b.htm"));
}

} // namespace
