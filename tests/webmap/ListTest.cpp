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

// The web-map dialog for the list helpers: records what it was opened with and answers with the
// given texts, or cancels.
struct TEditorScript {
    bool confirm = true;
    QString name, address;
    QStringList openedWith; // "name|address" per opening
    TWebMapEditor editor() {
        return [this](QString &n, QString &a) {
            openedWith << n + QLatin1Char('|') + a;
            if (confirm) {
                n = name;
                a = address;
            }
            return confirm;
        };
    }
};

TEST(WebMapList, AddAndEditOpenTheDialogAndTakeItsResultOnlyOnOk) {
    const TWebMapPath a{QStringLiteral("A"), QStringLiteral("a.html")};
    const TWebMapPath b{QStringLiteral("B"), QStringLiteral("b.html")};
    const TWebMapPath n{QStringLiteral("Новая"), QStringLiteral("osm/new.html")};
    const struct {
        const char *what;
        int index; // -2 = "Добавить", otherwise "Изменить" of that entry
        bool confirm;
        bool changed;
        QString openedWith;
        QVector<TWebMapPath> after;
    } cases[] = {
        {"add", -2, true, true, QStringLiteral("|"), {a, b, n}},
        {"add cancelled", -2, false, false, QStringLiteral("|"), {a, b}},
        {"edit", 1, true, true, QStringLiteral("B|b.html"), {a, n}},
        {"edit cancelled", 0, false, false, QStringLiteral("A|a.html"), {a, b}},
        {"edit without a selection", -1, true, false, QString(), {a, b}},
        {"edit past the end", 2, true, false, QString(), {a, b}},
    };
    for (const auto &c : cases) {
        QVector<TWebMapPath> list = {a, b};
        TEditorScript dlg{c.confirm, n.Name, n.Path, {}};
        const bool changed = c.index == -2 ? AddWebMapEntry(list, dlg.editor())
                                           : EditWebMapEntry(list, c.index, dlg.editor());
        EXPECT_EQ(changed, c.changed) << c.what;
        EXPECT_EQ(list, c.after) << c.what;
        EXPECT_EQ(dlg.openedWith, c.openedWith.isNull() ? QStringList() : QStringList{c.openedWith})
            << c.what;
    }
    EXPECT_EQ(WebMapListLine(n), QStringLiteral("Новая [osm/new.html]"));
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
