#include "DbTestEnv.h"

#include <QFile>
#include <QFileInfo>

#include "app/Folders.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/DatabaseCreation.h"

using namespace db;

namespace {

const QString ShippedScript = QStringLiteral(ZARNEX_SOURCE_DIR "/update/UPDB.sql");

// A loopback port nobody listens on: a server there "does not answer".
QString deadServer() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    ::close(fd); // bound, never listened on, closed: connections are refused
    return QStringLiteral("127.0.0.1/") + QString::number(ntohs(a.sin_port));
}

QString fresh(const QString &name) {
    const QString path = dbtest::scratchDir() + name;
    QFile::remove(path);
    return path;
}

int structureVersion(const QString &server, const QString &path) {
    TOptions o;
    TScriptedDialogs d;
    TDatabaseController c(o, d);
    if (!c.ConnectToDB(server, path, dbtest::password(), QStringLiteral("SYSDBA")))
        return -1;
    const int v = c.GetCurrDBVersion();
    c.DisconnectFromDB();
    return v;
}

void dropOnServer(const QString &path) {
    try {
        TDatabase d;
        d.open(QStringLiteral("localhost:") + path, QStringLiteral("SYSDBA"), dbtest::password());
        d.drop();
    } catch (...) {
    }
    QFile::remove(path);
}

} // namespace

TEST(ProbeDatabase, TellsMissingFromUnreachableFromRefused) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase existing("PROBE_EXISTING");
    existing.db.close();
    const QString garbage = fresh(QStringLiteral("PROBE_GARBAGE.FDB"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    const struct {
        TConnectionSettings settings;
        TDatabaseState state;
    } cases[] = {
        {{QString(), fresh("PROBE_NONE.FDB"), "SYSDBA", dbtest::password()},
         TDatabaseState::Missing},
        {{"localhost", fresh("PROBE_NONE.FDB"), "SYSDBA", dbtest::password()},
         TDatabaseState::Missing},
        {{"localhost", existing.path, "SYSDBA", dbtest::password()}, TDatabaseState::Exists},
        {{QString(), existing.path, "SYSDBA", dbtest::password()}, TDatabaseState::Exists},
        {{deadServer(), existing.path, "SYSDBA", dbtest::password()}, TDatabaseState::Unreachable},
        {{"localhost", existing.path, "SYSDBA", "wrong"}, TDatabaseState::Refused},
        {{QString(), garbage, "SYSDBA", dbtest::password()}, TDatabaseState::Refused},
    };
    for (const auto &c : cases) {
        const TDatabaseProbe p = ProbeDatabase(c.settings);
        EXPECT_EQ(int(p.state), int(c.state))
            << c.settings.databaseName().toStdString() << ": " << p.error.toStdString();
        EXPECT_EQ(p.error.isEmpty(), c.state == TDatabaseState::Exists);
    }
    QFile::remove(garbage);
}

TEST(CreateDatabaseFromScript, AFailedBuildLeavesNoFileAndAnExistingOneIsNotTouched) {
    const QString path = fresh(QStringLiteral("CREATE_BAD.FDB"));
    const QString script = dbtest::scratchDir() + "bad.sql";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("CREATE TABLE SYS (LAST_VERSION INTEGER);\n/*\n-- insert data here\n*/\n"
                "ALTER TABLE NO_SUCH_TABLE ADD X INTEGER;\n");
    }
    EXPECT_THROW(CreateDatabaseFromScript(path, "SYSDBA", dbtest::password(), script),
                 EDatabaseError);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_THROW(CreateDatabaseFromScript(path, "SYSDBA", dbtest::password(), script + ".none"),
                 EDatabaseError);
    EXPECT_FALSE(QFileInfo::exists(path));

    CreateDatabaseFromScript(path, "SYSDBA", dbtest::password(), ShippedScript);
    EXPECT_EQ(structureVersion(QString(), path), CurrentDbVersion);
    EXPECT_THROW(CreateDatabaseFromScript(path, "SYSDBA", dbtest::password(), ShippedScript),
                 EDatabaseNotCreated);
    EXPECT_EQ(structureVersion(QString(), path), CurrentDbVersion);
    QFile::remove(path);
}

// An installed program: the settings' default file lies in a program folder nobody may write.
class FirstStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        base =
            dbtest::scratchDir() +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            QLatin1Char('/');
        QDir(base).removeRecursively();
        folders.AppDir = base + "opt/zarnex-client/";
        folders.ProfileDir = base + "home/.config/ZarnexClientAuto/";
        QDir().mkpath(folders.AppDir);
        QDir().mkpath(folders.ProfileDir);
        options.DBServ = "localhost";
        options.DBPath = folders.AppDir + "database/ZARNEXLDB.FDB";
        options.DBPass = dbtest::password();
    }
    void TearDown() override { QDir(base).removeRecursively(); }

    TMissingDatabaseOffer::TOutcome run() {
        TMissingDatabaseOffer offer(options, dialogs, folders);
        offer.scriptPath = ShippedScript;
        offer.canMakeFile = [this](const QString &p) { return !p.startsWith(folders.AppDir); };
        offer.saveSettings = [this] { ++saves; };
        own = offer.userDatabasePath();
        return offer.run();
    }

    QString base;
    TFolders folders;
    TOptions options;
    TScriptedDialogs dialogs;
    int saves = 0;
    QString own;
};

TEST_F(FirstStartTest, WithoutAServerTheUsersOwnDatabaseIsMadeAndTheSettingsNameIt) {
    options.DBServ = deadServer();
    const QString configured = databaseName(options.DBServ, options.DBPath);
    dialogs.answers = {mbYes};
    EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Created);
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].kind, "question");
    EXPECT_EQ(dialogs.calls[0].caption, "Подключение к базе данных");
    EXPECT_TRUE(dialogs.calls[0].text.startsWith("База данных " + configured + " недоступна:\r\n"));
    EXPECT_TRUE(dialogs.calls[0].text.contains("\r\n\r\nСоздать базу данных в папке пользователя " +
                                               own + " по скрипту обновления?"))
        << dialogs.calls[0].text.toStdString();
    EXPECT_EQ(own, folders.ProfileDir + "database/ZARNEXLDB.FDB");
    EXPECT_EQ(options.DBServ, "");
    EXPECT_EQ(options.DBPath, own);
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(structureVersion(options.DBServ, options.DBPath), CurrentDbVersion);

    // The next start finds it: nothing is asked.
    dialogs.calls.clear();
    EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Present);
    EXPECT_TRUE(dialogs.calls.empty());

    // Settings back at their defaults (a lost settings file) take the user's database again.
    options.DBServ = "localhost";
    options.DBPath = folders.AppDir + "database/ZARNEXLDB.FDB";
    EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Switched);
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_EQ(options.DBPath, own);
    EXPECT_EQ(saves, 2);
}

TEST_F(FirstStartTest, NoLeavesEverythingAsItWas) {
    REQUIRE_FIREBIRD_SERVER(); // the local server answers that the file is not there
    const TOptions before = options;
    dialogs.answers = {mbNo};
    EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Declined);
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(own));
    EXPECT_EQ(options.DBServ, before.DBServ);
    EXPECT_EQ(options.DBPath, before.DBPath);
    EXPECT_EQ(saves, 0);
}

TEST_F(FirstStartTest, AMissingDatabaseIsMadeWhereTheSettingsNameIt) {
    REQUIRE_FIREBIRD_SERVER();
    const struct {
        QString server;
        QString path;
    } cases[] = {
        {QString(), base + "home/work/OWN.FDB"},                       // embedded, folder made
        {QStringLiteral("localhost"), fresh("FIRSTSTART_SERVER.FDB")}, // on the server
    };
    for (const auto &c : cases) {
        options.DBServ = c.server;
        options.DBPath = c.path;
        dialogs.calls.clear();
        dialogs.answers = {mbYes};
        EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Created) << c.path.toStdString();
        ASSERT_EQ(dialogs.calls.size(), 1u);
        EXPECT_EQ(dialogs.calls[0].text, "База данных " + databaseName(c.server, c.path) +
                                             " не найдена.\r\nСоздать её по скрипту обновления " +
                                             ShippedScript + "?");
        EXPECT_EQ(options.DBPath, c.path); // the settings stay
        EXPECT_EQ(saves, 0);
        EXPECT_EQ(structureVersion(c.server, c.path), CurrentDbVersion) << c.path.toStdString();
    }
    dropOnServer(cases[1].path);
}

TEST_F(FirstStartTest, AServerThatIsDownOrRefusesIsLeftToTheConnection) {
    REQUIRE_FIREBIRD_SERVER();
    dbtest::TempDatabase existing("FIRSTSTART_REFUSED");
    existing.db.close();
    const struct {
        QString server;
        QString path;
        QString password;
    } cases[] = {
        {deadServer(), "/srv/firebird/zarnex.fdb", dbtest::password()},
        {"localhost", existing.path, "wrong"},
        // Even the default place: a password the server refuses is not a missing database.
        {"localhost", folders.AppDir + "database/ZARNEXLDB.FDB", "wrong"},
    };
    for (const auto &c : cases) {
        options.DBServ = c.server;
        options.DBPath = c.path;
        options.DBPass = c.password;
        EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::NotOffered) << c.path.toStdString();
    }
    EXPECT_TRUE(dialogs.calls.empty());
    EXPECT_FALSE(QFileInfo::exists(own));
}

TEST_F(FirstStartTest, AFailureIsShownAndChangesNothing) {
    options.DBServ = deadServer();
    const TOptions before = options;
    // The user's folder is a file: nothing can be made below it.
    QDir(folders.ProfileDir).removeRecursively();
    {
        QFile f(QDir::cleanPath(folders.ProfileDir));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    dialogs.answers = {mbYes};
    EXPECT_EQ(run(), TMissingDatabaseOffer::TOutcome::Failed);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(
        dialogs.messages()[0].startsWith("Не удалось создать базу данных " + own + ": \r\n"))
        << dialogs.messages()[0].toStdString();
    EXPECT_EQ(options.DBPath, before.DBPath);
    EXPECT_EQ(options.DBServ, before.DBServ);
    EXPECT_EQ(saves, 0);
}
