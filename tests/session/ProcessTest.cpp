#include "app/Logging.h"
#include "app/Options.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "session/OnlineProcessor.h"
#include "session/ServerMessages.h"
#include "tracks/FileManager.h"

#include <QColor>
#include <QFile>

#include <QTemporaryDir>
#include <algorithm>

#include <gtest/gtest.h>

namespace {

QByteArray packet(int hh, int mi, int ss, int day, const QByteArray &position,
                  const QByteArray &state) {
    QByteArray p;
    p.append(char(0x08));
    p.append(char(hh + 48)).append(char(mi + 48)).append(char(ss + 48));
    p.append(char(day + 48)).append(char(12 + 48)).append(char(26 + 27));
    p.append(position).append('\xCF').append('|').append(state);
    p.append(char(PacketChecksum(p, p.size())));
    p.append('#');
    return p;
}

const QByteArray kPos("\x52\x5D\x27\x3D\x40\x54\x27\x3D", 8); // 3345.1234 / 2256.1234
// Short form, version 1, voltage raw 256 -> 7633 mV, fuel 0x100 = 256.
const QByteArray kState("\x00\x09\x00\x00\x11\x01\x00\x01\x00", 9);

class ProcessTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database);
        database->exec("DELETE FROM OBJECTS");
        database->exec("DELETE FROM INPUTSIGNALS");
        for (int n : {100, 200})
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE, "
                                   "OBJ_TANKVOLUME) VALUES (%1, 'Объект %1', %2, 500)")
                               .arg(n)
                               .arg(n == 200 ? 3 : 0));
        cacheDir = cache.path() + "/";
        manager = std::make_unique<TManager>(database->settings, dialogs, cacheDir);
        processor = std::make_unique<TOnlineProcessor>(fmngr, database->db, cacheDir);
        log = std::make_shared<TOperationsLog>(cache.path() + "/log.txt");
        InstallOperationsLog(log);
    }
    void TearDown() override { InstallOperationsLog(nullptr); }

    QString row(int n, const char *column) {
        return database->scalar(
            QString("SELECT %1 FROM OBJECTS WHERE OBJ_NUMBER = %2").arg(column).arg(n));
    }
    int dayRecords(int n, const char *day) {
        QFile f(cacheDir + QString::number(n) + "/" + day + ".dat");
        return f.exists() ? int(f.size() / 48) : -1;
    }

    TScriptedDialogs dialogs;
    QTemporaryDir cache;
    QString cacheDir;
    TFManager fmngr;
    std::unique_ptr<TManager> manager;
    std::unique_ptr<TOnlineProcessor> processor;
    std::shared_ptr<TOperationsLog> log;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(ProcessTest, NewsOldNewsAndUnknownObjects) {
    int updating = 0;
    const auto process = [&](int n, const QByteArray &p) {
        for (const TAppliedPacket &a : processor->ProcessObjectOnLineData(manager.get(), n, p))
            updating += a.updating;
    };
    process(100, packet(14, 30, 5, 10, kPos, kState));
    TControllableObject *o = manager->FindObject(100);
    EXPECT_TRUE(o->HadOnlineData);
    EXPECT_EQ(o->PackTimeText(), "10.12.2026 14:30:05");
    EXPECT_EQ(o->BoardVoltage, 7633);
    EXPECT_EQ(o->FuelLevel, 256);
    EXPECT_NEAR(double(o->Lat), 3345.1234, 1e-9);
    EXPECT_EQ(updating, 1);
    EXPECT_EQ(dayRecords(100, "20261210"), 1);
    EXPECT_EQ(row(100, "OBJ_BOARDVOLTAGE"), "7633");
    EXPECT_EQ(row(100, "OBJ_PACKTIME"), "10.12.2026 14:30:05");
    // On-line processing keeps no time series.
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "0");

    // An older packet: the track and its file grow, the shown state and the row stay.
    QByteArray olderState = kState;
    olderState[7] = 0; // raw voltage 0
    QByteArray pos2 = kPos;
    pos2[1] = char(44 + 48);
    process(100, packet(14, 29, 0, 10, pos2, olderState));
    EXPECT_EQ(o->PackTimeText(), "10.12.2026 14:30:05");
    EXPECT_EQ(o->BoardVoltage, 7633);
    EXPECT_EQ(updating, 1);
    EXPECT_EQ(o->track.coords.size(), 2u);
    EXPECT_EQ(dayRecords(100, "20261210"), 2); // sorted into the file
    EXPECT_EQ(row(100, "OBJ_BOARDVOLTAGE"), "7633");

    // A later packet 60 s on: the speed comes from the last two track entries.
    QByteArray pos3 = kPos;
    pos3[3] = char(61 + 1); // 0.0001' further north
    process(100, packet(14, 31, 5, 10, pos3, kState));
    EXPECT_EQ(updating, 2);
    EXPECT_GT(double(o->Speed), 0);
    EXPECT_EQ(dayRecords(100, "20261210"), 3);

    // An unknown number changes nothing.
    process(777, packet(14, 31, 5, 10, kPos, kState));
    EXPECT_EQ(updating, 2);
    EXPECT_FALSE(QFile::exists(cacheDir + "777"));
}

TEST_F(ProcessTest, TimeZoneAndInvalidDates) {
    // Object 200 is 3 hours ahead: 22:30 on the device is 01:30 next day.
    processor->ProcessObjectOnLineData(manager.get(), 200, packet(22, 30, 0, 10, kPos, kState));
    TControllableObject *o = manager->FindObject(200);
    EXPECT_EQ(o->PackTimeText(), "11.12.2026 01:30:00");
    EXPECT_EQ(dayRecords(200, "20261211"), 1);

    // Day 0: no date. Applied as news the time text is "нет данных" (NULL in the row), and
    // the position goes to the day file of 1899-12-30 shifted by the zone.
    processor->ProcessObjectOnLineData(manager.get(), 100, packet(10, 0, 0, 0, kPos, kState));
    TControllableObject *p = manager->FindObject(100);
    EXPECT_EQ(p->PackTimeText(), "нет данных");
    EXPECT_EQ(dayRecords(100, "18991230"), 1);
    EXPECT_TRUE(database->isNull("SELECT OBJ_PACKTIME FROM OBJECTS WHERE OBJ_NUMBER = 100"));

    // A packet without positions: the last text position is cleared, the day file untouched.
    processor->ProcessObjectOnLineData(manager.get(), 200,
                                       packet(23, 0, 0, 10, QByteArray("\xCF", 1), kState));
    EXPECT_EQ(o->LastTextLat, 0);
    EXPECT_NEAR(double(o->Lat), 3345.1234, 1e-9);
    EXPECT_EQ(dayRecords(200, "20261211"), 1);
}

// The row of a packet: its fuel volume from the calibration table (capped by the tank) and the
// whole state, in one transaction; the in-memory track of an object nobody draws keeps only the
// last position, which the speed of the next packet needs.
TEST_F(ProcessTest, RowWithFuelAndTracksOnlyWhereDrawn) {
    database->exec("DELETE FROM FUEL_POINTS");
    database->exec(
        "INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES (100, 0, 0, 1)");
    database->exec(
        "INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES (100, 512, 100, 1)");
    database->exec(
        "INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES (200, 0, 0, 1)");
    database->exec(
        "INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES (200, 100, 9000, 1)");
    processor->setKeepsWholeTrack([](int n) { return n == 100; });
    QByteArray pos2 = kPos;
    pos2[3] = char(61 + 1);
    for (int n : {100, 200}) {
        processor->ProcessObjectOnLineData(manager.get(), n, packet(14, 30, 5, 10, kPos, kState));
        processor->ProcessObjectOnLineData(manager.get(), n, packet(14, 31, 5, 10, pos2, kState));
    }
    EXPECT_EQ(row(100, "OBJ_FUELLEVELL"), "50");  // reading 256 of 512 -> 100 l
    EXPECT_EQ(row(200, "OBJ_FUELLEVELL"), "500"); // 9000 l, but the tank holds 500
    EXPECT_EQ(row(100, "OBJ_FUELLEVEL"), "256");
    EXPECT_EQ(row(100, "OBJ_BOARDVOLTAGE"), "7633");
    EXPECT_EQ(row(100, "OBJ_VERSION"), "1");
    EXPECT_EQ(row(100, "OBJ_PACKTIME"), "10.12.2026 14:31:05");
    EXPECT_EQ(row(100, "OBJ_TS"), "10.12.2026 14:31:05");
    const auto number = [&](int n, const char *column) {
        return row(n, column).replace(',', '.').toDouble();
    };
    EXPECT_NEAR(number(100, "OBJ_LAT"), 3345.12, 1e-9);
    EXPECT_NEAR(number(200, "OBJ_TEXT_LNG"), 2256.12, 1e-9);
    EXPECT_EQ(manager->FindObject(100)->track.coords.size(), 2u);
    EXPECT_EQ(manager->FindObject(200)->track.coords.size(), 1u);
    EXPECT_GT(double(manager->FindObject(200)->Speed), 0);
    EXPECT_EQ(dayRecords(200, "20261210"), 2);
}

TEST_F(ProcessTest, ServerLinesReachTheObjects) {
    TOptions options;
    options.AppLogin = "op";
    TScriptedDialogs d;
    TServerController server(options, d);
    server.setManager(manager.get());
    server.setProcessor(processor.get());
    QStringList panel6;
    QObject::connect(&server, &TServerController::statusText,
                     [&](TStatusField f, const QString &t) {
                         if (f == TStatusField::LinkEvent)
                             panel6 << t;
                     });
    QString panel0;
    QObject::connect(&server, &TServerController::statusText,
                     [&](TStatusField f, const QString &t) {
                         if (f == TStatusField::Objects)
                             panel0 = t;
                     });

    server.ProcessLine("s|s|cobj|null");
    EXPECT_EQ(panel0, "2 / 0");
    server.ProcessLine("s|s|cobj|100,200");
    EXPECT_TRUE(manager->FindObject(100)->Connected);
    EXPECT_EQ(panel0, "2 / 2");
    server.ProcessLine("c|200|cnev|d");
    EXPECT_FALSE(manager->FindObject(200)->Connected);
    EXPECT_TRUE(panel6.last().endsWith(" Отключился объект № 200"));
    server.ProcessLine("c|999|cnev|c"); // unknown: only the panels
    EXPECT_TRUE(panel6.last().endsWith(" Подключился объект № 999"));
    EXPECT_EQ(panel0, "2 / 1");

    // Data: on-line packets go to the processor; "cobj" in a payload wins over "data".
    server.ProcessLine("d|100|data|" + packet(9, 0, 0, 10, kPos, kState));
    EXPECT_TRUE(panel6.last().endsWith(" Данные с объекта № 100"));
    EXPECT_EQ(manager->FindObject(100)->PackTimeText(), "10.12.2026 09:00:00");
    server.ProcessLine("d|200|data|" + packet(9, 0, 0, 10, kPos, "cobj"));
    EXPECT_NE(manager->FindObject(200)->PackTimeText(), "10.12.2026 12:00:00");
    EXPECT_TRUE(log->takeQueued().isEmpty());
    server.ProcessLine("garbage data"); // no "data|": logged, nothing else
    const QStringList logged = log->takeQueued();
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].contains("(10) TCPin:: Невозможно обработать данные: [12] 67 61"));
}

TEST(ServerState, LinkStatesAndTheReconnectionCountdown) {
    TOptions options;
    TScriptedDialogs d;
    TServerController server(options, d);
    int attempts = 0;
    bool attemptSucceeds = false;
    QList<QColor> lamps;
    QObject::connect(&server, &TServerController::statusLamp,
                     [&](TStatusField, const QColor &c) { lamps << c; });
    QStringList panel6;
    QObject::connect(&server, &TServerController::statusText,
                     [&](TStatusField f, const QString &t) {
                         if (f == TStatusField::LinkEvent)
                             panel6 << t;
                     });

    server.HandleState(1, eENone);
    EXPECT_EQ(server.FCurrentConnectState, 1);
    EXPECT_TRUE(panel6.last().endsWith("  Выполняется авторизация"));
    EXPECT_EQ(lamps.last(), QColor(0, 255, 0));
    server.HandleState(2, eENone);
    EXPECT_TRUE(panel6.last().endsWith("  Авторизация пройдена"));

    server.HandleState(255, eEAutorization);
    EXPECT_EQ(server.FCurrentConnectState, 2);
    EXPECT_TRUE(server.discNotified);
    EXPECT_TRUE(panel6.last().endsWith("  Ошибка авторизации!"));
    EXPECT_EQ(lamps.last(), QColor(255, 0, 0));
    EXPECT_TRUE(server.autoConnect().isShown());
    // Reported once: a second loss report changes nothing.
    const int before = panel6.size();
    server.HandleState(255, eESocket);
    server.HandleState(0, eENone);
    EXPECT_EQ(panel6.size(), before);

    // The countdown: nine ticks count down, the tenth tries; a failure starts again.
    TAutoConnectToServer ac([&] {
        ++attempts;
        return attemptSucceeds;
    });
    ac.showAndStart();
    for (int i = 0; i < 9; ++i)
        ac.tmrConnectTimer();
    EXPECT_EQ(ac.counterText(), "1");
    EXPECT_EQ(attempts, 0);
    ac.tmrConnectTimer();
    EXPECT_EQ(attempts, 1);
    EXPECT_TRUE(ac.isShown());
    EXPECT_EQ(ac.counterText(), "10");
    EXPECT_TRUE(ac.tmrConnect.isActive());
    // "Подключиться" tries at once; success closes the dialog for good.
    attemptSucceeds = true;
    ac.btnConnectClick();
    EXPECT_EQ(attempts, 2);
    EXPECT_FALSE(ac.isShown());
    EXPECT_FALSE(ac.tmrConnect.isActive());
    // "Отмена" stops the attempts.
    ac.showAndStart();
    ac.btnCancelClick();
    EXPECT_FALSE(ac.isShown());
    EXPECT_FALSE(ac.tmrConnect.isActive());
    EXPECT_EQ(attempts, 2);
}

TEST(ServerMessages, ProgrammingTrafficGoesOutAsSignals) {
    QStringList calls;
    TOptions options;
    TScriptedDialogs d;
    TServerController server(options, d);
    QObject::connect(&server, &TServerController::programmedParameters3,
                     [&](int n, const QByteArray &) { calls << QString("3:%1").arg(n); });
    QObject::connect(&server, &TServerController::programmedParameters1,
                     [&](int n, const QByteArray &) { calls << QString("1:%1").arg(n); });
    QObject::connect(&server, &TServerController::programmingNotification,
                     [&](TProgrammingStatus s, int n, const QByteArray &) {
                         calls << QString("n%1:%2").arg(int(s)).arg(n);
                     });
    // A first byte 7 goes to the form-3 handler even with a signature inside.
    server.ProcessLine("d|5|data|\x07" + ProgrammingSignature(TProgrammingStatus::WhenObjProgOk));
    server.ProcessLine("d|5|data|\xDF"
                       "abc");
    server.ProcessLine("d|5|data|" + ProgrammingSignature(TProgrammingStatus::WhenParamError));
    EXPECT_EQ(calls, (QStringList{"3:5", "1:5", "n15:5"}));
}
