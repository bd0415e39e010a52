// The archive download as the session runs it, against the simulator's archive FTP service and
// the local Firebird server: yesterday's and today's day files arrive and are imported while
// nothing may reconnect, and the track loading fetches a missing day before it loads.

#include "app/Folders.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "archive/DownloadProgress.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "link/SimProcess.h"
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

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

TEST(ArchiveSession, TheSimulatorsArchiveArrivesWhileNothingMayReconnect) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    // The simulator's 2001 and 2002 are registered, its others are not.
    for (int n : {2001, 2002})
        database->exec(
            QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (%1, 'О%1')").arg(n));
    TSimProcess sim({"--ftp-port", "0", "--archive-days", "1", "--packet-interval", "5"});
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(waitUntil([&] { return !sim.find("archive ftp").isEmpty(); }, 10000));
    const int ftpPort =
        QRegularExpression(":(\\d+) ").match(sim.find("archive ftp")).captured(1).toInt();
    ASSERT_GT(ftpPort, 0) << sim.find("archive ftp").toStdString();

    QTemporaryDir tmp;
    const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
    SetFolders(f);
    TOptions options = options::Defaults(f);
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = options.AppPass = "demo";
    options.FtpPort = ftpPort;
    TScriptedDialogs dialogs;
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    // "Докачка информации" wants the server link; the grid's command only the registry.
    EXPECT_FALSE(s.isEnabled(TSessionCommand::DownloadData));
    EXPECT_TRUE(s.isEnabled(TSessionCommand::DownloadObject));
    s.connectServer();
    ASSERT_TRUE(waitUntil([&] { return s.isEnabled(TSessionCommand::DownloadData); }, 10000));

    // While it runs: the commands that reconnect, replace the registry or start a run are off,
    // another run is refused, and closing waits for the end.
    std::vector<TSessionCommand> off{
        TSessionCommand::DatabaseConnect, TSessionCommand::DatabaseDisconnect,
        TSessionCommand::DatabaseButton,  TSessionCommand::ClearCache,
        TSessionCommand::ObjectRegistry,  TSessionCommand::ImportFiles,
        TSessionCommand::DownloadData,    TSessionCommand::DownloadObject};
    int polls = 0, enabledDuring = 0;
    bool nestedRan = true, closeAllowed = true;
    // The window's events go on while the download runs: a timer of the window looks at the
    // commands, tries another run and asks to close.
    QTimer window;
    QObject::connect(&window, &QTimer::timeout, [&] {
        if (!s.runner().active())
            return;
        if (++polls == 1) {
            nestedRan = s.runs().DownloadObjectData(2001, 0, 0);
            closeAllowed = s.requestClose();
        }
        for (TSessionCommand c : off)
            enabledDuring += s.isEnabled(c) ? 1 : 0;
    });
    window.start(5);
    std::vector<bool> before;
    for (TSessionCommand c : off)
        before.push_back(s.isEnabled(c));
    QSignalSpy closeRequested(&s, &TClientSession::closeRequested);
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    const QDate today = QDate::currentDate();
    s.runs().downloadDays(0, today.addDays(-1), today);
    ASSERT_TRUE(s.runner().active());
    ASSERT_TRUE(finished.wait(60000));
    window.stop();

    const TDownloadProgress &p = s.runs().downloadProgress();
    const QString log = p.lines().join('\n');
    EXPECT_GT(polls, 0);
    EXPECT_EQ(enabledDuring, 0);
    EXPECT_FALSE(nestedRan);
    EXPECT_FALSE(closeAllowed);
    EXPECT_EQ(closeRequested.count(), 1);
    EXPECT_FALSE(s.runs().downloadFailed()) << log.toStdString();
    EXPECT_TRUE(log.contains("Получение списка файлов (объект 2001): OK")) << log.toStdString();
    EXPECT_FALSE(log.contains("объект 2003"));
    // Yesterday and today (UTC) for both objects, each imported.
    EXPECT_EQ(p.lines().filter("обработка... ОК").size(), 4) << log.toStdString();
    const QString yesterday =
        QDateTime::currentDateTimeUtc().date().addDays(-1).toString("yyyyMMdd") + ".dat";
    for (int n : {2001, 2002}) {
        EXPECT_TRUE(QFile::exists(DataDir() + QString("%1/").arg(n) + yesterday)) << n;
        EXPECT_TRUE(QFile::exists(CoordCacheDir() + QString("%1/").arg(n) + yesterday)) << n;
        EXPECT_GT(
            database
                ->scalar(QString("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = %1").arg(n))
                .toInt(),
            1000)
            << n;
    }
    for (size_t i = 0; i < off.size(); ++i)
        EXPECT_EQ(s.isEnabled(off[i]), before[i]) << int(off[i]);

    // The track loading with "Скачать данные с сервера перед загрузкой трека" fetches the
    // day that is missing, then shows it.
    ASSERT_TRUE(QFile::remove(DataDir() + "2002/" + yesterday));
    const TDateTime day = dt::encodeDate(QDateTime::currentDateTimeUtc().date().addDays(-1));
    TLoadTrackRequest request;
    request.number = 2002;
    request.start = day;
    request.end = day + dt::encodeTime(23, 59, 59);
    request.toCurrent = false;
    request.download = true;
    s.tracks().miLoadTrackClick(request);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(p.lines().filter("Загрузка файла 2002\\" + yesterday + ": обработка... ОК").size(), 1)
        << p.lines().join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(DataDir() + "2002/" + yesterday));
    EXPECT_GT(s.tracks().trackList().size(), 0u);

    s.disconnectServer();
    s.database().disconnectDatabase();
}
