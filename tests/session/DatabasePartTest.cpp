#include "db/DbTestEnv.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/DatabaseUpdate.h"
#include "db/GroupManager.h"
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

#include <QTemporaryDir>

using namespace db;

namespace {

class DatabaseSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!dbtest::serverListening())
            GTEST_FAIL() << "Firebird server is not listening on 127.0.0.1:3050 "
                            "(start it with scripts/firebird.sh start)";
        const QString name =
            QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
        base = std::make_unique<dbtest::TempDatabase>("ctl_" + name);
        BuildFromUpdateScript(base->db, ZARNEX_SOURCE_DIR "/update/UPDB.sql");
        options.DBServ = "localhost";
        options.DBPath = base->path;
        SetFolders(ComputeFolders(folder.path() + "/zarnex-client"));
        log = std::make_shared<TOperationsLog>(dbtest::scratchDir() + "oplog_" + name + ".txt");
        InstallOperationsLog(log);
    }
    void TearDown() override { InstallOperationsLog(nullptr); }

    // A run that holds the runner until released.
    static TRunTask holdUntil(const bool &released) {
        while (!released)
            co_yield TRunPause::Wait;
    }

    void dropOthers() {
        base->db.execute(
            "delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
    }

    QStringList logLines() {
        QStringList out;
        for (const QString &l : log->takeQueued())
            out << l.mid(l.indexOf(") ") + 2); // without the time stamp and level
        return out;
    }

    QTemporaryDir folder;
    std::unique_ptr<dbtest::TempDatabase> base;
    TOptions options;
    TScriptedDialogs dialogs;
    std::shared_ptr<TOperationsLog> log;
};

} // namespace

TEST_F(DatabaseSessionTest, ConnectAndDisconnectSwitchCommandsPanelAndWatchdog) {
    TClientSession s(options, dialogs);
    TDatabasePart &c = s.database();
    QSignalSpy commands(&c, &TDatabasePart::commandsChanged);
    QSignalSpy panel(&c, &TDatabasePart::lampChanged);
    int managers = 0;
    QObject::connect(&s, &TClientSession::registryChanged, [&](TManager *m) {
        // The registry is created on an open main connection.
        if (!m)
            return;
        EXPECT_TRUE(c.database().isOpen());
        ++managers;
    });
    c.connectDatabase();
    EXPECT_TRUE(dialogs.calls.empty()) << dialogs.calls.front().text.toStdString();
    EXPECT_EQ(managers, 1);
    EXPECT_EQ(c.connectionState(), 1);
    EXPECT_TRUE(c.buttonDown());
    EXPECT_TRUE(c.tmrCheckConn.isActive());
    EXPECT_EQ(c.tmrCheckConn.interval(), 1000);
    ASSERT_EQ(commands.count(), 1);
    EXPECT_TRUE(commands.last().at(0).toBool());
    EXPECT_EQ(panel.last().at(0).value<QColor>(), QColor(0, 255, 0));
    EXPECT_EQ(logLines(), QStringList{"DATABASE_CONNECTION:: Текущая версия базы: 3"});
    EXPECT_EQ(c.version(), CurrentDbVersion);

    c.disconnectDatabase();
    EXPECT_FALSE(c.database().isOpen());
    EXPECT_EQ(c.connectionState(), 0);
    EXPECT_FALSE(c.buttonDown());
    EXPECT_FALSE(c.tmrCheckConn.isActive());
    EXPECT_FALSE(commands.last().at(0).toBool());
    EXPECT_EQ(panel.last().at(0).value<QColor>(), QColor(128, 128, 128));
    EXPECT_EQ(c.version(), -1);
}

TEST_F(DatabaseSessionTest, WrongPasswordShowsTheMessageReleasesTheButtonEnablesNothing) {
    options.DBPass = "wrong";
    TClientSession s(options, dialogs);
    TDatabasePart &c = s.database();
    QSignalSpy commands(&c, &TDatabasePart::commandsChanged);
    QSignalSpy button(&c, &TDatabasePart::buttonDownChanged);
    bool managerCreated = false;
    QObject::connect(&s, &TClientSession::registryChanged,
                     [&](TManager *m) { managerCreated = managerCreated || m; });
    c.connectDatabase();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    const auto &m = dialogs.calls[0];
    EXPECT_EQ(m.kind, "message");
    EXPECT_EQ(m.caption, "Подключение к базе данных");
    EXPECT_EQ(m.icon, TMsgIcon::Error);
    EXPECT_TRUE(m.text.startsWith("Во время подключения к базе данных произошла ошибка: \r\n"));
    EXPECT_TRUE(m.text.contains("Your user name and password are not defined"));
    EXPECT_FALSE(managerCreated);
    EXPECT_EQ(commands.count(), 0);
    ASSERT_EQ(button.count(), 1);
    EXPECT_FALSE(button.last().at(0).toBool());
    EXPECT_EQ(c.connectionState(), 2);
    EXPECT_EQ(TDatabaseController::sostColor(2), QColor(255, 0, 0));
    EXPECT_FALSE(c.tmrCheckConn.isActive());
    EXPECT_TRUE(logLines().isEmpty()); // no version check without a connection
}

TEST_F(DatabaseSessionTest, AnOldOrUnreadableVersionIsLoggedAndTheUpdateOffered) {
    const struct {
        const char *change;
        const char *logLine;
        const char *question;
        TMsgButton answer;
    } cases[] = {
        {"update SYS set LAST_VERSION = 1", "DATABASE_CONNECTION:: Текущая версия базы: 1",
         "Текущая версия базы данных не является актуальной. \r\nВыполнить обновление?", mbYes},
        {"update SYS set LAST_VERSION = 1", "DATABASE_CONNECTION:: Текущая версия базы: 1",
         "Текущая версия базы данных не является актуальной. \r\nВыполнить обновление?", mbNo},
        // The structure before the drains.
        {"update SYS set LAST_VERSION = 2", "DATABASE_CONNECTION:: Текущая версия базы: 2",
         "Текущая версия базы данных не является актуальной. \r\nВыполнить обновление?", mbNo},
        {"drop table SYS", "DATABASE_CONNECTION:: Не удалось определить версию базы данных.",
         "Не удалось определить версию базы данных. \r\nВыполнить обновление?", mbYes},
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.change);
        // A fresh attachment: one that has used SYS keeps it from being dropped.
        base->db.open(base->name(), "SYSDBA", dbtest::password());
        base->db.execute(k.change);
        TScriptedDialogs d;
        d.answers.push_back(k.answer);
        TClientSession s(options, d);
        TDatabasePart &c = s.database();
        int updates = 0;
        QObject::connect(&c, &TDatabasePart::updateRequested, [&] { ++updates; });
        c.connectDatabase();
        ASSERT_EQ(d.calls.size(), 1u);
        EXPECT_EQ(d.calls[0].kind, "question");
        EXPECT_EQ(d.calls[0].text, QString::fromUtf8(k.question));
        EXPECT_EQ(d.calls[0].caption, "Подключение к базе данных");
        EXPECT_EQ(d.calls[0].buttons, TMsgButtons(mbYes | mbNo));
        EXPECT_EQ(logLines(), QStringList{QString::fromUtf8(k.logLine)});
        EXPECT_EQ(updates, k.answer == mbYes ? 1 : 0);
        // The command goes on whatever the answer when no update was started.
        EXPECT_EQ(c.connectionState(), 1);
        EXPECT_TRUE(c.commandsEnabled());
        c.disconnectDatabase();
        if (QString(k.change).startsWith("update"))
            base->db.execute("update SYS set LAST_VERSION = 3");
    }
}

TEST_F(DatabaseSessionTest, ALostConnectionDisconnectsWithinASecondAndWarnsOnce) {
    TClientSession s(options, dialogs);
    TDatabasePart &c = s.database();
    c.connectDatabase();
    ASSERT_TRUE(c.tmrCheckConn.isActive());
    c.tmrCheckConnTimer(); // a healthy tick restarts the timer and says nothing
    EXPECT_TRUE(c.tmrCheckConn.isActive());
    EXPECT_TRUE(dialogs.calls.empty());

    // The server drops the client's attachment, as when it goes away.
    base->db.execute("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION");

    QElapsedTimer clock;
    clock.start();
    while (dialogs.calls.empty() && clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(dialogs.calls[0].text, "Cоединение с базой данных потеряно. Для продолжения "
                                     "\r\nработы необходимо выполнить переподключение.");
    EXPECT_EQ(dialogs.calls[0].text.at(0), QLatin1Char('C')); // Latin C, as the program has it
    EXPECT_EQ(dialogs.calls[0].caption, "Ошибка подключения");
    EXPECT_EQ(dialogs.calls[0].icon, TMsgIcon::Warning);
    EXPECT_FALSE(c.database().isOpen());
    EXPECT_FALSE(c.buttonDown());
    EXPECT_FALSE(c.commandsEnabled());
    EXPECT_EQ(c.connectionState(), 0);
    EXPECT_FALSE(c.tmrCheckConn.isActive());

    clock.restart();
    while (clock.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    c.tmrCheckConnTimer();
    EXPECT_EQ(dialogs.calls.size(), 1u);
}

TEST_F(DatabaseSessionTest, AcceptedUpdateSwitchesToTheNewDatabaseAndTheCommandReconnects) {
    base->db.execute("update SYS set LAST_VERSION = 1");
    base->db.execute("insert into OBJECTS (OBJ_NUMBER, OBJ_NAME) values (5, 'Пятый')");
    dialogs.answers.push_back(mbYes);
    TClientSession s(options, dialogs);
    TDatabasePart &c = s.database();
    int saves = 0;
    QObject::connect(&c, &TDatabasePart::settingsSwitched, [&] { ++saves; });
    // The window shows the update and starts it through the runner.
    QObject::connect(&c, &TDatabasePart::updateRequested, [&] {
        EXPECT_TRUE(c.startUpdate(ZARNEX_SOURCE_DIR "/update/UPDB.sql", false, true));
    });
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    c.connectDatabase();
    // The command waits for the update: nothing is connected to the old database meanwhile.
    EXPECT_TRUE(s.runner().active());
    EXPECT_FALSE(s.isEnabled(TSessionCommand::DatabaseDisconnect));
    EXPECT_FALSE(s.isEnabled(TSessionCommand::ObjectRegistry));
    ASSERT_TRUE(finished.wait(60000));
    ASSERT_TRUE(c.updater().switched()) << c.updater().log().join("\n").toStdString();
    EXPECT_EQ(saves, 1);
    EXPECT_NE(options.DBPath, base->path);
    // The connect command went on with the new database.
    EXPECT_EQ(c.database().name(), "localhost:" + options.DBPath);
    EXPECT_EQ(c.version(), CurrentDbVersion);
    EXPECT_EQ(
        selectValue(c.database(), "select OBJ_NAME from OBJECTS where OBJ_NUMBER = 5").toString(),
        "Пятый");
    EXPECT_TRUE(c.commandsEnabled());
    EXPECT_TRUE(c.buttonDown());
    EXPECT_TRUE(c.tmrCheckConn.isActive());
    EXPECT_EQ(dialogs.calls.size(), 1u) << "no second question after the update";
    c.disconnectDatabase();
    s.registry()->DisconnectFromDb(); // the registry keeps its own connection
    TDatabase d;
    d.open("localhost:" + options.DBPath, "SYSDBA", dbtest::password());
    d.drop();
}

TEST_F(DatabaseSessionTest, CommandsWaitWhileARunIsActive) {
    TClientSession s(options, dialogs);
    TDatabasePart &c = s.database();
    bool released = false;
    ASSERT_TRUE(s.runner().start(TRunKind::DatabaseUpdate, holdUntil(released)));
    c.connectDatabase();
    EXPECT_FALSE(c.database().isOpen());
    released = true;
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    ASSERT_TRUE(finished.wait(5000));
    c.connectDatabase();
    ASSERT_TRUE(c.database().isOpen());
    released = false;
    ASSERT_TRUE(s.runner().start(TRunKind::Import, holdUntil(released)));
    c.disconnectDatabase();
    EXPECT_TRUE(c.database().isOpen());
    // While it runs nothing may reconnect or replace the database, and no modal window opens;
    // its end gives the connected commands back.
    for (TSessionCommand cmd :
         {TSessionCommand::DatabaseDisconnect, TSessionCommand::ClearCache,
          TSessionCommand::LoadTrack, TSessionCommand::Calibration, TSessionCommand::FuelCharges,
          TSessionCommand::ObjectRegistry, TSessionCommand::Settings, TSessionCommand::ImportFiles,
          TSessionCommand::DemoObject})
        EXPECT_FALSE(s.isEnabled(cmd)) << int(cmd);
    // The watchdog leaves the connection alone meanwhile.
    dropOthers();
    c.tmrCheckConnTimer();
    EXPECT_TRUE(dialogs.calls.empty());
    released = true;
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(s.isEnabled(TSessionCommand::DatabaseDisconnect));
    EXPECT_TRUE(s.isEnabled(TSessionCommand::LoadTrack));
    EXPECT_FALSE(s.isEnabled(TSessionCommand::DatabaseConnect));
    c.disconnectForUpdate();
    EXPECT_FALSE(c.database().isOpen());
}
