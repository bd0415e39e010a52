#include "ui/MainWindow.h"
#include "app/IniFile.h"
#include "app/Logging.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/FuelPart.h"
#include "session/LiveObjects.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/RegistryEdits.h"
#include "session/Runner.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "ui/FirstTimeMaster.h"
#include "ui/MainBinder.h"
#include "ui/OptionsForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
struct MainFixture : ::testing::Test {
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
};

QStringList captions(QMenu *m) {
    QStringList out;
    for (QAction *a : m->actions())
        if (!a->isSeparator())
            out << a->text() + (a->isEnabled() ? "" : " (off)");
    return out;
}
} // namespace

TEST_F(MainFixture, MenusAndTheirStateAtStart) {
    TClientSession session(options, dialogs);
    TfmMain main(session);
    QStringList top;
    for (QAction *a : main.menuBar()->actions())
        top << a->text() + (a->isEnabled() ? "" : " (off)");
    EXPECT_EQ(top, (QStringList{"Пуск", "База данных", "Настройки", "Статистика (off)"}));

    QMenu *start = main.menuBar()->actions()[0]->menu();
    EXPECT_EQ(captions(start), (QStringList{"База данных", "Сервер", "Очистить кэш",
                                            "Включить демо-объект (off)", "Выход"}));
    EXPECT_EQ(captions(start->actions()[0]->menu()),
              (QStringList{"Подключиться", "Отключиться (off)"}));
    EXPECT_EQ(captions(start->actions()[1]->menu()),
              (QStringList{"Подключиться (off)", "Отключиться (off)"}));
    EXPECT_EQ(captions(main.menuBar()->actions()[1]->menu()),
              (QStringList{"Объекты (off)", "Докачка информации (off)",
                           "Импортировать данные из файлов... (off)",
                           "Импортировать данные из каталога... (off)", "Выполнить скрипт",
                           "Обновить базу данных "}));
    EXPECT_EQ(captions(main.menuBar()->actions()[2]->menu()),
              (QStringList{"Общие", "Экспортировать настройки во внешний файл (off)",
                           "Импортировать настройки из внешнего файла (off)"}));
    EXPECT_EQ(captions(main.menuBar()->actions()[3]->menu()),
              (QStringList{"По одному объекту (off)", "По группам объектов (off)", "Заправки (off)",
                           "Сливы топлива (off)"}));
    EXPECT_EQ(captions(main.gridContextMenu()),
              (QStringList{"Загрузить трек... (off)", "Очистить трек (off)",
                           "Скачать данные по объекту... (off)", "Создать точку тарировки... (off)",
                           "Показать таблицу тарировки... (off)",
                           "Показать таблицу заправок... (off)", "Показать сливы... (off)",
                           "Данные по объекту... (off)", "Очистить статистику... (off)",
                           "Управление реле (off)", "Настроить прибор (off)"}));
    EXPECT_EQ(captions(main.mapContextMenu()), (QStringList{"Выбор карты"}));
    EXPECT_TRUE(main.windowTitle().startsWith("Зарнекс-Клиент-Авто  v." + GetFileVersionText()));
}

TEST_F(MainFixture, SettingsWindowTakesShowsAndRejects) {
    writeSettings("[Map]\r\nMapsCount=2\r\nMap0=map/a.map\r\nMap1=map/b.map\r\nDefaultMap=1\r\n"
                  "[PrevState]\r\nFirstRun=0\r\n[Auto]\r\nGroupsWidth=250\r\n");
    TClientSession session(options, dialogs);
    TfmMain main(session);
    TfmOptions form(options, &main, nullptr, dialogs);
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_EQ(form.ui.maps->count(), 2);
    EXPECT_EQ(form.ui.defaultMap->currentIndex(), 1);
    EXPECT_EQ(form.ui.appPort->text(), "7788");
    // The web maps of the settings are offered by the map-selection button, after the raster
    // map.
    TMainBinder binder(main, session, nullptr, &form);
    session.afterApplySettings();
    ASSERT_EQ(main.webMapMenu()->actions().size(), 3);
    EXPECT_EQ(main.webMapMenu()->actions()[0]->text(), "Статическая карта");
    EXPECT_EQ(main.webMapMenu()->actions()[2]->text(), "Карта Яndex");

    // A non-numeric port stops the save with the window's message.
    form.ui.appPort->setText("77x");
    EXPECT_FALSE(form.Apply());
    ASSERT_EQ(dialogs.messages().size(), 1u);
    EXPECT_TRUE(dialogs.messages()[0].startsWith("InterfaceToOptions error:\r\n"));
    EXPECT_EQ(options.AppPort, 7788);
    // The FTP port falls back instead.
    form.ui.appPort->setText("7789");
    form.ui.ftpPort->setText("");
    ASSERT_TRUE(form.Apply());
    EXPECT_EQ(options.AppPort, 7789);
    EXPECT_EQ(options.FtpPort, 2121);

    // Removing maps selects the first one as default.
    form.ui.maps->item(1)->setSelected(true);
    form.btnRemoveMapClick();
    EXPECT_EQ(options.Maps, QStringList{AppDir() + "map/a.map"});
    EXPECT_EQ(form.ui.defaultMap->currentIndex(), 0);
    EXPECT_TRUE(options.FisMapListChanged);

    // "Выход" drops what was typed.
    form.ui.appServer->setText("typed.but.dropped");
    form.btnExitClick();
    EXPECT_EQ(form.ui.appServer->text(), options.AppServer);

    // Adding maps goes through the file dialog, starting in the program's map folder.
    dialogs.files.push_back({"/opt/maps/c.map", "/opt/maps/d.map"});
    form.btnAddMapClick();
    EXPECT_EQ(options.Maps.size(), 3);
    EXPECT_EQ(dialogs.calls.back().text, AppDir() + "map|Ozi Explorer maps (*.map)|*.map");
}

TEST_F(MainFixture, FirstRunDialogSavesAndTurnsItselfOff) {
    TClientSession session(options, dialogs);
    TfmMain main(session);
    TfmOptions form(options, &main, nullptr, dialogs);
    dialogs.calls.clear(); // the missing-file message
    TfmFirstTimeMaster master(&form);
    master.edServer->setText("mon.example");
    master.edLogin->setText("operator");
    master.edPassword->setText("secret");
    master.btnSaveClick();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    TOptions back;
    options::LoadOptions(back, Folders(), dialogs);
    EXPECT_EQ(back.AppServer, "mon.example");
    EXPECT_EQ(back.AppLogin, "operator");
    EXPECT_EQ(back.AppPass, "secret");
    EXPECT_FALSE(back.FirstRun);
}
