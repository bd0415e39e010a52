// The client session without any window, against the local Firebird server, the simulated
// monitoring server and the sample map: the roads that cross subsystems, and errors that used
// to end the program.

#include "session/LiveObjects.h"
#include "app/ErrorGuard.h"
#include "app/Folders.h"
#include "app/FormatSettings.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/DatabaseController.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "link/SimProcess.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "session/ClientSession.h"
#include "session/DataRuns.h"
#include "session/DatabasePart.h"
#include "session/DemoObject.h"
#include "session/FuelPart.h"
#include "session/Maintenance.h"
#include "session/MapInteraction.h"
#include "session/RegistryEdits.h"
#include "session/Runner.h"
#include "session/ServerMessages.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/CoordsUtils.h"
#include "webmap/WebMapBridge.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

struct SessionTest : ::testing::Test {
    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::shared_ptr<TOperationsLog> log;

    void SetUp() override {
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        QDir().mkpath(f.CoordCacheDir);
        options = options::Defaults(f);
        log = std::make_shared<TOperationsLog>(tmp.path() + "/log.txt");
        InstallOperationsLog(log);
    }
    void TearDown() override { InstallOperationsLog(nullptr); }

    void useDatabase(const onlinetest::TScriptDatabase &d) {
        options.DBServ = d.settings.server;
        options.DBPath = d.settings.path;
    }
    QStringList errors() const {
        QStringList out;
        for (const auto &c : dialogs.calls)
            if (c.icon == TMsgIcon::Error || c.icon == TMsgIcon::Warning)
                out << c.text;
        return out;
    }
    // The server drops every attachment but the asking one, as when it goes away.
    static void dropOtherAttachments(onlinetest::TScriptDatabase &d) {
        d.exec("delete from MON$ATTACHMENTS where MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
    }
};

} // namespace

// "Управление реле" and "Настроить прибор" act on the selected row's object: another object's
// news leaves them as they are; the selected object's news and a change of row set them anew,
// and the window hears of it each time.
TEST_F(SessionTest, RelayAndDeviceCommandsFollowTheSelectedObject) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    for (int n : {2001, 2002})
        database->exec(
            QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (%1, 'Объект %1')").arg(n));
    useDatabase(*database);
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    int changes = 0;
    QObject::connect(&s, &TClientSession::commandsChanged, [&] { ++changes; });
    const auto on = [&] {
        const bool relay = s.isEnabled(TSessionCommand::RelayControl);
        EXPECT_EQ(relay, s.isEnabled(TSessionCommand::SetupDevice));
        return relay;
    };
    s.server().ProcessLine("s|s|cobj|2001"); // 2001 on line, 2002 not
    s.live().selectObject(2002, 2);
    EXPECT_FALSE(on());
    s.live().selectObject(2001, 1);
    EXPECT_TRUE(on());
    s.server().ProcessLine("c|2002|cnev|c");
    s.server().ProcessLine("c|2002|cnev|d");
    EXPECT_TRUE(on()) << "the news of another object decided";
    s.live().selectObject(2002, 2);
    EXPECT_FALSE(on());
    s.server().ProcessLine("c|2001|cnev|c");
    EXPECT_FALSE(on()) << "the news of another object decided";
    changes = 0;
    s.server().ProcessLine("c|2002|cnev|c");
    EXPECT_TRUE(on());
    EXPECT_GT(changes, 0);
    changes = 0;
    s.live().selectObject(2001, 1);
    EXPECT_TRUE(on());
    EXPECT_GT(changes, 0);
}

TEST_F(SessionTest, PacketReachesRecordDayFileMapItemAndTheFollowedView) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    for (int n : {2001, 2002})
        database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                               "VALUES (%1, 'Объект %1', 500)")
                           .arg(n));
    TSimProcess sim({"--account", "demo:demo", "--packet-interval", "1", "--keepalive", "0"});
    ASSERT_TRUE(sim.ok()) << "the simulator did not start";
    useDatabase(*database);
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = "demo";
    options.AppPass = "demo";
    options.Maps = {ZARNEX_BIN_DIR "/map/moscow-overview.map"};
    options.DefaultMap = 0;
    options.AutoMapChange = false;

    TClientSession s(options, dialogs);
    TMapPanel &panel = s.map().panel();
    panel.setSize(QSize(800, 600));
    s.map().openMaps();
    ASSERT_TRUE(waitUntil([&] { return panel.isMapReady(); }, 10000)) << "the map did not open";

    // The registry's objects become map items at once, with stored data's colour.
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TMapObjManager &items = s.map().items();
    ASSERT_TRUE(items.Item(2001) && items.Item(2002));
    const TMapObjManager &c = items;
    EXPECT_EQ(items.Item(2002)->marker()->FColor, c.FDefaultArchiveMarkerColor);
    EXPECT_TRUE(items.Item(2002)->FArchive);

    s.live().selectObject(2001, 1);
    EXPECT_EQ(items.GetActiveObject(), 2001);
    s.connectServer();
    TControllableObject *a = s.registry()->FindObject(2001);
    ASSERT_TRUE(waitUntil([&] { return a->HadOnlineData && items.Item(2002)->connected(); }, 15000))
        << "no packet applied";
    ASSERT_TRUE(waitUntil([&] { return items.Item(2001)->current().FCoords.Latitude != 0; }, 5000));

    // Record and day file.
    EXPECT_FALSE(database->isNull("SELECT OBJ_PACKTIME FROM OBJECTS WHERE OBJ_NUMBER = 2001"));
    EXPECT_FALSE(QDir(CoordCacheDir() + "2001").entryList({"*.dat"}, QDir::Files).isEmpty());
    // The map item takes the object's position; the followed view is centred on it.
    const TManagedItem *item = items.Item(2001);
    EXPECT_NEAR(double(item->current().FCoords.Latitude), double(a->Lat), 1e-9);
    EXPECT_NEAR(double(item->current().FCoords.Longitude), double(a->Lng), 1e-9);
    const TMapCoords at = panel.coordsConverter().GeoToMap(item->current().FCoords);
    EXPECT_NEAR(double(panel.cameraCoords().X), double(at.X), 1.0);
    EXPECT_NEAR(double(panel.cameraCoords().Y), double(at.Y), 1.0);

    // Connection news colour the markers: the active one stands out, the live ones and the
    // disconnected ones take the settings' colours, read again when the settings change.
    EXPECT_EQ(item->marker()->FColor, c.FDefaultActiveMarkerColor);
    EXPECT_EQ(items.Item(2002)->marker()->FColor, c.FDefaultMarkerColor);
    options.MarkerColor = 0x00112233;
    options.ArchiveMarkerColor = 0x00445566;
    s.afterApplySettings();
    EXPECT_EQ(items.Item(2002)->marker()->FColor, QColor(0x33, 0x22, 0x11));
    s.server().ProcessLine("c|2002|cnev|d");
    EXPECT_EQ(items.Item(2002)->marker()->FColor, QColor(0x66, 0x55, 0x44));
    EXPECT_FALSE(s.registry()->FindObject(2002)->Connected);

    // A click on the active marker shows its information; a click beside it takes it away.
    const QPoint onMarker = panel.MapToScreen(item->marker()->FMapCoords);
    s.map().mapClicked(onMarker);
    EXPECT_TRUE(s.map().pickedPointLabel().startsWith("Номер объекта: 2001\r\nДата: "))
        << s.map().pickedPointLabel().toStdString();
    s.map().mapClicked(onMarker + QPoint(300, 300));
    EXPECT_TRUE(s.map().pickedPointLabel().isEmpty());

    // With the web map in use, packets move the page's marker too (in degrees), and the
    // active object's live track is cleaned up for the track display.
    struct TRecordingBrowser : TWebMapBrowser {
        QStringList scripts;
        void navigate(const QUrl &) override {}
        void setSilent(bool) override {}
        void runJavaScript(const QString &script,
                           std::function<void(const QVariant &)> = {}) override {
            scripts << script;
        }
    } browser;
    ASSERT_EQ(items.GetActiveObject(), 2001);
    s.webMap().bridge().setBrowser(&browser);
    s.webMap().bridge().InternetIsOK = true;
    options.UseGoogleMap = true;
    const auto sent = [&](const QString &what) {
        return std::any_of(browser.scripts.begin(), browser.scripts.end(),
                           [&](const QString &t) { return t.contains(what); });
    };
    ASSERT_TRUE(waitUntil(
        [&] { return sent("window[\"marker_at\"]") && sent("window[\"cleanup_current_track\"]"); },
        5000))
        << browser.scripts.join("\n").toStdString();
    // The marker's latitude in degrees (the object keeps moving: compare within a few metres'
    // worth of a second's drive).
    const QRegularExpression markerLat(
        QStringLiteral("marker_at\"\\];.*f\\.call\\(window,([0-9.]+),"));
    double lat = 0;
    for (const QString &t : browser.scripts)
        if (const auto m = markerLat.match(t); m.hasMatch())
            lat = m.captured(1).toDouble();
    EXPECT_NEAR(lat, double(a->Lat / 60), 0.01) << browser.scripts.join("\n").toStdString();
    s.webMap().bridge().setBrowser(nullptr);
    options.UseGoogleMap = false;

    s.disconnectServer();
    s.database().disconnectDatabase();
    EXPECT_TRUE(errors().isEmpty()) << errors().join("\n").toStdString();
}

TEST_F(SessionTest, PickedPointSpeedFromThePreviousTrackPoint) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (7, 'Семь')");
    useDatabase(*database);
    options.Maps = {ZARNEX_BIN_DIR "/map/moscow-overview.map"};
    options.DefaultMap = 0;
    TClientSession s(options, dialogs);
    s.map().panel().setSize(QSize(400, 300));
    s.map().openMaps();
    ASSERT_TRUE(waitUntil([&] { return s.map().panel().isMapReady(); }, 10000));
    s.database().connectDatabase();
    TManagedItem *item = s.map().items().Item(7);
    ASSERT_TRUE(item);
    const TDateTime t0 = dt::encode(2026, 12, 10, 12, 0, 0);
    const TGeoCoords p0{55 * 60 + 45.0L, 37 * 60 + 37.0L}, p1{55 * 60 + 45.1L, 37 * 60 + 37.0L};
    for (const auto &[t, p] : {std::pair{t0, p0}, std::pair{t0 + 10 / 86400.0, p1}}) {
        TDataRecord r;
        r.FTimeStamp = t;
        r.FCoords = p;
        item->SetCurrent(r);
    }
    TPositionSnapshot picked;
    picked.TimeStamp = t0 + 10 / 86400.0;
    picked.Coords = p1;
    const double kmh = double(GeoDistance(p0, p1) * 3.6L / 10);
    ASSERT_GT(kmh, 60);
    ASSERT_LT(kmh, 70);
    const struct {
        double maxSpeed;
        QString speed;
    } cases[] = {
        {150, QString::asprintf("%.2f", kmh).replace('.', ',') + " км/ч"},
        {50, "---"}, // not plausible
    };
    for (const auto &c : cases) {
        options.MaxSpeed = c.maxSpeed;
        const QString text = s.map().pickedPointText(7, picked);
        EXPECT_TRUE(text.startsWith("Номер объекта: 7\r\nДата: 10.12.2026\r\nВремя: 12:00:10\r\n"))
            << text.toStdString();
        EXPECT_TRUE(text.endsWith("\r\nСкорость: " + c.speed)) << text.toStdString();
    }
    // The speed follows the platform's decimal separator, whichever it is.
    options.MaxSpeed = 150;
    TFormatSettings dot = TFormatSettings::russian();
    dot.decimalSeparator = QLatin1Char('.');
    TFormatSettings::setCurrent(dot);
    const QString dotted = s.map().pickedPointText(7, picked);
    TFormatSettings::setCurrent(TFormatSettings::russian());
    EXPECT_TRUE(dotted.endsWith("\r\nСкорость: " + QString::asprintf("%.2f", kmh) + " км/ч"))
        << dotted.toStdString();
    // The first point has no predecessor.
    picked.TimeStamp = t0;
    EXPECT_TRUE(s.map().pickedPointText(7, picked).endsWith("Скорость: ---"));
}

TEST_F(SessionTest, ReconnectAfterALostDatabaseBuildsANewRegistryAndItems) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (5, 'Пять')");
    useDatabase(*database);
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.database().connected());
    EXPECT_TRUE(s.isEnabled(TSessionCommand::ClearStatistics));

    dropOtherAttachments(*database);
    s.database().tmrCheckConnTimer();
    EXPECT_FALSE(s.database().connected());
    EXPECT_FALSE(s.isEnabled(TSessionCommand::ClearStatistics));
    EXPECT_TRUE(s.isEnabled(TSessionCommand::DatabaseConnect));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Cоединение с базой данных потеряно."));

    // Exit and "Применить" while the connection is lost: messages, and the program goes on.
    s.database().connectDatabase();
    ASSERT_TRUE(s.database().connected());
    dropOtherAttachments(*database);
    EXPECT_FALSE(s.guard().run([&] { s.beforeApplySettings(); }));
    EXPECT_TRUE(errors().last().startsWith("Ошибка выполнения операции:\r\n"));
    EXPECT_NO_THROW(s.FormClose());
    EXPECT_TRUE(errors().last().startsWith("Не удалось сохранить настройки при выходе:\r\n") ||
                errors().last().startsWith("Ошибка выполнения операции:\r\n"))
        << errors().last().toStdString();

    // A new connection: a new registry whose objects are on the map again.
    dialogs.calls.clear();
    s.database().connectDatabase();
    ASSERT_TRUE(s.database().connected()) << errors().join("\n").toStdString();
    ASSERT_TRUE(s.registry());
    EXPECT_TRUE(s.registry()->isConnected());
    EXPECT_TRUE(s.registry()->FindObject(5));
    EXPECT_TRUE(s.map().items().Item(5));
    s.database().disconnectDatabase();
}

TEST_F(SessionTest, ErrorsThatEndedTheProgramAreMessages) {
    // A database without the program's tables, the update declined.
    {
        QTemporaryDir folder("/tmp/zarnex-session-XXXXXX");
        ::chmod(QFile::encodeName(folder.path()).constData(), 01777); // the server's user
        db::TDatabase empty;
        empty.create("127.0.0.1:" + folder.path() + "/empty.fdb", "SYSDBA", "qvx7tpl2m");
        empty.close();
        options.DBServ = "127.0.0.1";
        options.DBPath = folder.path() + "/empty.fdb";
        TClientSession s(options, dialogs);
        dialogs.answers.push_back(mbNo);
        EXPECT_NO_THROW(s.guard().run([&] { s.database().connectDatabase(); }));
        ASSERT_TRUE(std::any_of(dialogs.calls.begin(), dialogs.calls.end(),
                                [](const auto &c) { return c.kind == "question"; }));
        // The registry found no tables to show: the general message, not the end.
        EXPECT_EQ(dialogs.calls.back().kind, "message");
        EXPECT_TRUE(dialogs.calls.back().text.startsWith("Ошибка выполнения операции:\r\n"))
            << dialogs.calls.back().text.toStdString();
        // The session still answers and can let go of the database.
        EXPECT_NO_THROW(s.guard().run([&] { s.database().disconnectDatabase(); }));
        EXPECT_FALSE(s.database().connected());
        if (s.registry())
            s.registry()->DisconnectFromDb();
        s.database().database().forceClose();
        empty.open("127.0.0.1:" + folder.path() + "/empty.fdb", "SYSDBA", "qvx7tpl2m");
        empty.drop();
    }
    // A group name longer than its column.
    dialogs.calls.clear();
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO GROUPS (GRP_ID, GRP_NAME) VALUES ('{G}', 'Депо')");
    useDatabase(*database);
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TTreeNode *group = s.registry()->root().children.at(0).get();
    EXPECT_FALSE(s.guard().run([&] { s.registry()->NodeEdited(group, QString(400, 'x')); }));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("Ошибка выполнения операции:\r\n"));
    EXPECT_EQ(database->scalar("SELECT GRP_NAME FROM GROUPS"), "Депо");
    // The guard also wrote the program log when one is installed; the next command works.
    s.registry()->NodeEdited(group, "Депо 2");
    EXPECT_EQ(database->scalar("SELECT GRP_NAME FROM GROUPS"), "Депо 2");
    s.database().disconnectDatabase();
}

TEST_F(SessionTest, FirstDisplayAndClosingSteps) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    useDatabase(*database);
    options.AutoConnect = 1;
    options.FirstRun = true;
    options.AppServer = "127.0.0.1";
    options.AppPort = 1; // nobody listens: the link fails, the program goes on
    TClientSession s(options, dialogs);
    int firstRun = 0, saves = 0;
    QObject::connect(&s, &TClientSession::firstRunRequested, [&] { ++firstRun; });
    QObject::connect(&s, &TClientSession::settingsSaveRequested, [&] { ++saves; });
    s.FormShow();
    const QStringList logged = log->takeQueued();
    ASSERT_GE(logged.size(), 5);
    EXPECT_TRUE(logged[0].endsWith("(20) General:: FolderPathAppDir=" + AppDir()));
    EXPECT_TRUE(logged[4].endsWith("General:: FolderPathWebServer=" + WebServerDir()));
    EXPECT_TRUE(s.database().connected());
    EXPECT_EQ(firstRun, 1);

    // Closing while connected saves the settings and lets go of everything.
    s.FormClose();
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(s.database().connected());
    // Closing without a database does not touch the settings.
    s.FormClose();
    EXPECT_EQ(saves, 1);
}

// An object added while on line asks the server which objects are connected, so it shows as
// connected at once instead of at its next connection event.
TEST_F(SessionTest, AnObjectAddedOnLineIsShownConnectedAtOnce) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME) VALUES (2001, 'Маневровый')");
    TSimProcess sim({"--account", "demo:demo", "--packet-interval", "5", "--keepalive", "0",
                     "--cnev-interval", "0"});
    ASSERT_TRUE(sim.ok()) << "the simulator did not start";
    useDatabase(*database);
    options.AppServer = "127.0.0.1";
    options.AppPort = sim.port().toInt();
    options.AppLogin = options.AppPass = "demo";
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    s.connectServer();
    TMapObjManager &items = s.map().items();
    ASSERT_TRUE(
        waitUntil([&] { return items.Item(2001) && items.Item(2001)->connected(); }, 15000));
    const int asked = sim.count("cobj request");

    TObjectForm f;
    f.number = "2002";
    f.name = "Тепловоз";
    ASSERT_EQ(s.registryEdits().addRegistryObject(f), TRegistrySave::Saved);
    ASSERT_TRUE(items.Item(2002));
    EXPECT_TRUE(waitUntil([&] { return items.Item(2002)->connected(); }, 5000))
        << "the new object waited for a connection event";
    EXPECT_GT(sim.count("cobj request"), asked);
    s.disconnectServer();
    s.database().disconnectDatabase();
}
