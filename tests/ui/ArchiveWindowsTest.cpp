// The download dialog's checks and the progress window after a real FTP run with one failing
// file. With ZARNEX_SCREENSHOT_DIR set, the expanded progress window is saved there.

#include "app/OptionsIO.h"
#include "archive/ArchiveServers.h"
#include "archive/DownloadObjectData.h"
#include "archive/DownloadProgress.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/TrackImport.h"
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
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"
#include "ui/DownloadDataForm.h"
#include "ui/DownloadProgressForm.h"
#include "ui/LoadTrackForm.h"
#include "ui/MainBinder.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

TEST(ArchiveWindows, TheDialogRefusesBadChoicesAndPresetsTheGridsObject) {
    TScriptedDialogs dialogs;
    const QDate today = QDate::currentDate();
    TDownloadDataForm dlg({5, 7}, dialogs);
    EXPECT_EQ(dlg.windowTitle(), "Докачка информации");
    EXPECT_TRUE(dlg.rbAll->isChecked());
    EXPECT_FALSE(dlg.cbObject->isEnabled());
    EXPECT_EQ(dlg.cbObject->currentText(), "5");
    EXPECT_EQ(dlg.dtStart->date(), today);
    EXPECT_EQ(dlg.dtEnd->date(), today);
    dlg.show();

    dlg.dtStart->setDate(today.addDays(1));
    dlg.btnOk->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].text, "Неправильно задан временной интервал");
    EXPECT_EQ(dialogs.calls[0].caption, "Ошибка");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Error);
    EXPECT_TRUE(dlg.isVisible());

    dlg.dtStart->setDate(today.addDays(-2));
    dlg.rbOne->setChecked(true);
    EXPECT_TRUE(dlg.cbObject->isEnabled());
    dlg.cbObject->setEditText("9");
    dlg.btnOk->click();
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[1].text, "Неверно указан номер объекта");
    EXPECT_EQ(dialogs.calls[1].caption, "Выбор объекта");
    EXPECT_TRUE(dlg.isVisible());

    dlg.cbObject->setEditText("7");
    dlg.btnOk->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.choice().number, 7);
    EXPECT_EQ(dlg.choice().from, today.addDays(-2));
    EXPECT_EQ(dlg.choice().to, today);

    // The grid's command: "Один объект" with the row's object.
    TDownloadDataForm preset({5, 7}, dialogs);
    preset.selectObject(7);
    EXPECT_TRUE(preset.rbOne->isChecked() && preset.cbObject->isEnabled());
    EXPECT_EQ(preset.cbObject->currentText(), "7");

    // The track loading's choice starts cleared and goes with the request.
    TfmLoadTrack load(7);
    EXPECT_FALSE(load.cbDownloadDataBeforeLoad->isChecked());
    EXPECT_FALSE(load.request(TfmLoadTrack::ResultOk).download);
    load.cbDownloadDataBeforeLoad->setChecked(true);
    EXPECT_TRUE(load.request(TfmLoadTrack::ResultOk).download);
}

TEST(ArchiveWindows, TheProgressWindowAfterARunWithOneFailingFile) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (1000, 'Тепловоз')");
    QTemporaryDir tmp;
    for (int day : {1, 2, 3}) {
        QByteArray bytes;
        for (int i = 0; i < 30; ++i) {
            QByteArray state("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
            state[8] = char(i);
            bytes += TDeviceRecord{dt::encode(2024, 1, day, 8) + i / 1440.0,
                                   TGeoCoords{3345.0L + i * 0.01L, 2256.0L}, state}
                         .toBytes();
        }
        const QString path = tmp.path() + QString("/server/1000/2024010%1.dat").arg(day);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The second day arrives uncompressed: it cannot be unpacked.
    const auto server = startFtp(tmp.path() + "/server", {"--raw", "1000\\20240102.dat"});

    TScriptedDialogs dialogs;
    TManager registry(database->settings, dialogs, tmp.path() + "/coord/");
    TFManager fmngr;
    TImportProgress importProgress;
    TTrackImport import(registry, fmngr, database->settings, tmp.path() + "/coord/",
                        importProgress);
    TDownloadProgress progress;
    TDownloadProgressForm form(progress);
    TDownloadSettings settings;
    settings.ftp.host = "127.0.0.1";
    settings.ftp.port = server->port();
    settings.ftp.user = "arch";
    settings.ftp.password = "pw";
    TDownloadObjectData run(registry, import, progress, dialogs, settings, tmp.path() + "/data/");
    // The window's events go on while the run waits for its transfers.
    TRunTask task = run.DownloadObjectData(0, dt::encode(2024, 1, 1), dt::encode(2024, 1, 3));
    while (task.resume())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(form.windowTitle(), "Докачка данных");
    EXPECT_TRUE(form.imgErrors->isVisible());
    EXPECT_EQ(form.imgErrors->toolTip(), "В процессе загрузки данных возникли ошибки!");
    EXPECT_TRUE(form.lblCompleted->isVisible());
    EXPECT_EQ(form.btnCancel->text(), "Закрыть");
    EXPECT_FALSE(form.memoLog->isVisible());
    EXPECT_LT(form.height(), 100);
    EXPECT_EQ(form.pbProgress->value(), form.pbProgress->maximum());
    EXPECT_EQ(form.memoLog->toPlainText().split('\n'), progress.lines());
    EXPECT_EQ(progress.lines().filter("ОК").size(), 2);
    EXPECT_EQ(progress.lines().filter("ошибка 2 - ").size(), 1);

    QTest::mouseClick(form.btnAdvanced, Qt::LeftButton);
    EXPECT_TRUE(form.memoLog->isVisible());
    EXPECT_EQ(form.height(), 256);
    EXPECT_EQ(form.btnAdvanced->text(), "Скрыть <<");
    EXPECT_FALSE(progress.tmrAutoClose.isActive());
    QTest::qWait(100);
    const QString dir = qEnvironmentVariable("ZARNEX_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        form.grab().save(dir + "/download-progress.png");
    }

    QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
}

TEST(ArchiveWindows, TheGridsCommandAsksForTheRowsObjectAndShowsTheRun) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (1000, 'Тепловоз')");
    QTemporaryDir tmp;
    const QDate today = QDate::currentDate();
    QByteArray bytes;
    for (int i = 0; i < 10; ++i)
        bytes += TDeviceRecord{dt::encodeDate(today) + i / 1440.0, TGeoCoords{3345.0L, 2256.0L},
                               QByteArray("\x00\x08\x00\x00\x08\x01\x00\x01", 8) + char(i)}
                     .toBytes();
    const QString day = tmp.path() + "/server/1000/" + today.toString("yyyyMMdd") + ".dat";
    QDir().mkpath(QFileInfo(day).path());
    QFile f(day);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const auto server = startFtp(tmp.path() + "/server");

    const TFolders folders = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(folders);
    TOptions options = options::Defaults(folders);
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    options.AppServer = "127.0.0.1";
    options.FtpPort = server->port();
    options.AppLogin = "arch";
    options.AppPass = "pw";
    TScriptedDialogs dialogs;
    TClientSession s(options, dialogs);
    TfmMain main(s);
    TMainBinder binder(main, s, nullptr, nullptr);
    const TfmMain::Commands &c = main.commands();
    EXPECT_FALSE(c.download->isEnabled() || c.downloadObject->isEnabled());
    c.dbConnect->trigger();
    ASSERT_EQ(s.selection().number, 1000);
    EXPECT_FALSE(c.download->isEnabled()); // the server link is down
    EXPECT_TRUE(c.downloadObject->isEnabled());

    bool asked = false;
    QTimer::singleShot(0, [&] {
        auto *dlg = qobject_cast<TDownloadDataForm *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dlg);
        asked = dlg->rbOne->isChecked() && dlg->cbObject->currentText() == "1000";
        dlg->btnOk->click();
    });
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    c.downloadObject->trigger();
    EXPECT_TRUE(asked);
    // The run goes on from the event loop; the window's commands that would touch it are off.
    EXPECT_TRUE(s.runner().active());
    EXPECT_FALSE(c.loadTrack->isEnabled() || c.objects->isEnabled() || c.options->isEnabled());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(c.loadTrack->isEnabled() && c.objects->isEnabled() && c.options->isEnabled());
    auto *form = main.findChild<TDownloadProgressForm *>();
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    const QString log = form->memoLog->toPlainText();
    EXPECT_TRUE(log.contains("Загрузка архива, объект 1000")) << log.toStdString();
    EXPECT_TRUE(log.contains(": обработка... ОК")) << log.toStdString();
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 1000"), "10");
    form->btnCancel->click();
    EXPECT_FALSE(form->isVisible());
    c.dbDisconnect->trigger();
}
