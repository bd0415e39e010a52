#include "app/Folders.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "ui/OptionsForm.h"
#include "ui/WebMapPathForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct WebMapForms : ::testing::Test {
    QTemporaryDir tmp;
    TScriptedDialogs dialogs;
    TOptions options;

    void SetUp() override {
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
    }
    void writeSettings(const QByteArray &text) {
        QFile file(SettingsFileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    // Acts on the web-map dialog once it is open (it runs its own event loop).
    static void whenDialogOpens(std::function<void(TfrmWebMapPath &)> act) {
        QTimer::singleShot(0, [act] {
            auto *dlg = qobject_cast<TfrmWebMapPath *>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr) << "the web-map dialog did not open";
            act(*dlg);
        });
    }
    static QStringList lines(const QListWidget *l) {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
};

TEST_F(WebMapForms, DialogShowsTheTextsBrowsesAndAnswersOkOrCancel) {
    TfrmWebMapPath dlg(dialogs);
    EXPECT_EQ(dlg.windowTitle(), "Выбор файла Internet-карты");
    QStringList labels;
    for (const QLabel *l : dlg.findChildren<QLabel *>())
        labels << l->text();
    EXPECT_TRUE(labels.contains("Наименование"));
    EXPECT_TRUE(labels.contains("Адрес карты"));
    EXPECT_EQ(dlg.btnBrowse->text(), "Обзор");

    // "Обзор" with an empty name: the page's address in the folder and its bare name.
    dialogs.files.push_back({WebServerDir() + "osm/city.html"});
    QString name, address;
    whenDialogOpens([](TfrmWebMapPath &d) {
        d.btnBrowse->click();
        d.btnOK->click();
    });
    ASSERT_TRUE(dlg.EditWebMapLocation(name, address));
    EXPECT_EQ(name, "city");
    EXPECT_EQ(address, "osm/city.html");
    EXPECT_EQ(dialogs.calls.back().caption, "Выбор файла Internet-карты");

    // Opened on the given texts; "Отмена" leaves them as they were.
    QString seen;
    whenDialogOpens([&](TfrmWebMapPath &d) {
        seen = d.edMapName->text() + "|" + d.edAddress->text();
        d.edMapName->setText("changed");
        d.btnCancel->click();
    });
    EXPECT_FALSE(dlg.EditWebMapLocation(name, address));
    EXPECT_EQ(seen, "city|osm/city.html");
    EXPECT_EQ(name, "city");
}

TEST_F(WebMapForms, SettingsListAddsEditsAndRemovesAfterAsking) {
    writeSettings("[WebServer]\r\nWebMapCount=3\r\nMapName0=A\r\nMapPath0=a.html\r\n"
                  "MapName1=B\r\nMapPath1=b.html\r\nMapName2=C\r\nMapPath2=c.html\r\n");
    TfmOptions form(options, nullptr, nullptr, dialogs);
    EXPECT_EQ(form.ui.useGoogleMap->text(), "Использовать интернет-карту ");
    QList<bool> views;
    QObject::connect(&form, &TfmOptions::webMapViewSwitched, [&](bool on) { views << on; });
    form.ui.useGoogleMap->setChecked(true); // as the map choice menu does it
    form.ui.useGoogleMap->click();
    EXPECT_EQ(views, (QList<bool>{true, false}));

    // "Удалить" asks first; No keeps the entry.
    form.ui.webMaps->setCurrentRow(1);
    dialogs.answers = {mbNo, mbYes};
    form.btnRemoveWebMapClick();
    EXPECT_EQ(lines(form.ui.webMaps).size(), 3);
    form.btnRemoveWebMapClick();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].text, "Вы уверены, что хотите удалить карту \"B\"?");
    EXPECT_EQ(lines(form.ui.webMaps), (QStringList{"A [a.html]", "C [c.html]"}));

    // "Изменить" opens on the selected entry, "Добавить" on empty fields.
    form.ui.webMaps->setCurrentRow(1);
    QString seen;
    whenDialogOpens([&](TfrmWebMapPath &d) {
        seen = d.edMapName->text() + "|" + d.edAddress->text();
        d.edAddress->setText("c2.html");
        d.btnOK->click();
    });
    form.btnEditWebMapClick();
    EXPECT_EQ(seen, "C|c.html");
    whenDialogOpens([&](TfrmWebMapPath &d) {
        seen = d.edMapName->text() + "|" + d.edAddress->text();
        d.edMapName->setText("D");
        d.edAddress->setText("d.html");
        d.btnOK->click();
    });
    form.btnAddWebMapClick();
    EXPECT_EQ(seen, "|");
    EXPECT_EQ(lines(form.ui.webMaps), (QStringList{"A [a.html]", "C [c2.html]", "D [d.html]"}));

    // The record takes the working copy only when the options are applied.
    EXPECT_EQ(options.WebMapList.size(), 3);
    EXPECT_EQ(options.WebMapList[1].Name, "B");
    ASSERT_TRUE(form.Apply());
    EXPECT_EQ(options.WebMapList,
              (QVector<TWebMapPath>{{"A", "a.html"}, {"C", "c2.html"}, {"D", "d.html"}}));
    dialogs.expectDone();
}

} // namespace
