// Fuel drains in the session: the simulator's drain reaches the client as packets, through the
// packet road (the state, the day file, RecalcParams) to the drains part, which raises one
// stored alert at the packet that completes the threshold, grows it and ends it; the same
// readings stored and read back as history give the same drain; a second workstation that sees
// the same packets keeps the one row, a third one sees it by polling, and a confirmation stops
// the flashing everywhere. Then the same through the running simulator and the whole session.

#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/ObjectRegistry.h"
#include "db/OnlineDb.h"
#include "link/SimProcess.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "maps/MapPanel.h"
#include "monitor-sim/ObjectSim.h"
#include "monitor-sim/PacketEncoder.h"
#include "online/ControllableObject.h"
#include "online/OnlineData.h"
#include "reports/DrainsStore.h"
#include "session/ClientSession.h"
#include "session/DatabasePart.h"
#include "session/DrainsPart.h"
#include "session/MapInteraction.h"
#include "session/OnlineProcessor.h"
#include "session/ServerMessages.h"
#include "session/WebMapPart.h"
#include "tracks/FileManager.h"
#include "webmap/UHTTPserverUnit.h"
#include "webmap/WebMapBridge.h"

#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int kCrane = 2005; // parked on the building site all day
constexpr double kUnixDay0 = 25569;

TObjectConfig craneConfig() {
    for (const TObjectConfig &c : TObjectSim::defaultObjects())
        if (c.number == kCrane)
            return c;
    return {};
}

// The crane in the registry as the try-out registers it: its tank, zone, engine signal and
// calibration table.
void registerCrane(onlinetest::TScriptDatabase &d, const TObjectSim &sim) {
    const TObjectConfig &c = sim.config();
    d.exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_SHORTNAME, "
                          "OBJ_TANKVOLUME, OBJ_TIMEZONE, OBJ_USEENGINEFORPARK) VALUES (%1, "
                          "'Кран КС', 'Кран', %2, %3, 1)")
               .arg(QString::number(c.number), QString::number(c.tankLitres),
                    QString::number(c.timeZoneHours)));
    for (const auto &[reading, litres] : sim.calibration())
        d.exec(QStringLiteral("INSERT INTO FUEL_POINTS (ID, SENSOR_VAL, FUEL_VAL, FIXED) VALUES "
                              "(%1, %2, %3, 1)")
                   .arg(QString::number(c.number), QString::number(reading),
                        QString::number(litres, 'f', 4)));
}

// A packet as the simulator's server sends it at utc: the position k * 2 s old, the further
// points leading up to utc, the state of utc.
QByteArray packetAt(const TObjectSim &o, double utc, int k) {
    const double first = utc - 2.0 * k;
    const TObjectState s0 = o.stateAt(first);
    std::vector<TPacketEncoder::TPoint> further;
    for (int j = 1; j <= k; ++j) {
        const TObjectState sj = o.stateAt(first + 2.0 * j);
        further.push_back({sj.lat, sj.lon});
    }
    const TObjectState now = o.stateAt(utc);
    std::optional<TPacketEncoder::TPoint> position;
    if (!s0.gpsLost && !now.gpsLost)
        position = TPacketEncoder::TPoint{s0.lat, s0.lon};
    return TPacketEncoder::onlinePacket(
        QDateTime::fromMSecsSinceEpoch(qint64(std::floor(first * 1000)), Qt::UTC), position,
        further, TPacketEncoder::stateFor(now, o.config().form), true);
}

// One workstation's drains part with the map items and the web map it drives.
struct TWorkstation {
    TWorkstation(TOptions &options, TScriptedDialogs &dialogs, db::TDatabase &db, TFManager &fmngr)
        : panel(dialogs), items(&panel), bridge(options, dialogs),
          web(options, dialogs, http, bridge, items),
          part(options, dialogs, db, fmngr, items, web, selection) {}
    void registry(const onlinetest::TScriptDatabase &d, const QString &cache) {
        manager = std::make_unique<TManager>(d.settings, dialogs(), cache);
        for (const TControllableObject *o : manager->FObjects)
            items.AddObject(o->Number, TDataRecord{0, {o->Lat, o->Lng}, false});
        part.setRegistry(manager.get());
    }
    TScriptedDialogs &dialogs() { return m_dialogs; }

    TScriptedDialogs m_dialogs;
    TMapPanel panel;
    TMapObjManager items;
    TdmHTTPServer http;
    TWebMapBridge bridge;
    TWebMapPart web;
    TSelection selection;
    TDrainsPart part;
    std::unique_ptr<TManager> manager;
};

struct DrainsSessionTest : ::testing::Test {
    void SetUp() override {
        TFormatSettings::setCurrent(TFormatSettings::russian());
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        QDir().mkpath(f.CoordCacheDir);
        options = options::Defaults(f);
        options.AppLogin = QStringLiteral("диспетчер");
        log = std::make_shared<TOperationsLog>(tmp.path() + "/log.txt");
        InstallOperationsLog(log);
    }
    void TearDown() override { InstallOperationsLog(nullptr); }
    QStringList drainLog() {
        QStringList out;
        for (const QString &l : log->takeQueued())
            if (l.contains(QLatin1String("DRAINS::")))
                out << l.mid(l.indexOf(QLatin1String("DRAINS::")));
        return out;
    }

    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::shared_ptr<TOperationsLog> log;
};

} // namespace

TEST_F(DrainsSessionTest, TheSimulatorsDrainThroughThePacketRoadIsOneAlertAsTheHistoryFindsIt) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    // 40 l in 5 minutes at 03:00 of a Wednesday night in the depot.
    TObjectConfig c = craneConfig();
    const double at = QDateTime(QDate(2026, 12, 9), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    c.drains = {{at, 40, 5}};
    const TObjectSim sim(c, 1);
    registerCrane(*database, sim);
    options.DrainSoundFile = QStringLiteral("/usr/share/sounds/alarm.wav");

    const QString cache = CoordCacheDir();
    TFManager fmngr;
    TOnlineProcessor processor(fmngr, database->db, cache);
    // Two workstations see the packets; a third one only polls the table.
    TWorkstation a(options, dialogs, database->db, fmngr), b(options, dialogs, database->db, fmngr),
        c3(options, dialogs, database->db, fmngr);
    const TDateTime start = kUnixDay0 + (at + c.timeZoneHours * 3600.0) / 86400;
    for (TWorkstation *w : {&a, &b, &c3}) {
        w->part.clock = [start] { return start + 1 / 24.0; };
        w->registry(*database, cache);
    }
    ASSERT_TRUE(a.manager->FindObject(kCrane));
    QSignalSpy sound(&a.part, &TDrainsPart::soundRequested);
    QSignalSpy polledIn(&c3.part, &TDrainsPart::alertRaised);

    struct TRow {
        TDateTime time;
        int raw, engine;
    };
    std::vector<TRow> stored;
    std::vector<TCalibrationPoint> table;
    for (const auto &[reading, litres] : sim.calibration())
        table.push_back({reading, litres, 1});
    const double step = CalibrationStep(table);
    const double before = sim.stateAt(at).litres;
    int packet = 0, crossed = -1, raised = -1;
    QObject::connect(&a.part, &TDrainsPart::alertRaised, [&] {
        if (raised < 0)
            raised = packet;
    });
    for (double t = at - 40 * 60; t <= at + 30 * 60; t += 10, ++packet) {
        const QByteArray p = packetAt(sim, t, 4);
        const std::vector<TAppliedPacket> applied =
            processor.ProcessObjectOnLineData(a.manager.get(), kCrane, p);
        ASSERT_EQ(applied.size(), 1u);
        a.part.onPacketsApplied(applied);
        b.part.onPacketsApplied(applied);
        if (crossed < 0 && t >= at && sim.stateAt(t).litres <= before - 20)
            crossed = packet;
        if (raised == packet)
            c3.part.tmrDrainPollTimer();
        // What the archive import would store of the same packet.
        TDecodedPacket d;
        ASSERT_EQ(DecodeOnlinePacket(kCrane, p, d), TPacketResult::Decoded);
        TControllableObject o;
        o.DecodeSostString(d.sost);
        stored.push_back({d.time + c.timeZoneHours / 24.0, o.FuelLevel, o.V24Gen});
    }

    // One alert, raised within packets of the fall crossing 20 l, stored once though two
    // workstations raised it, grown to the whole drain and ended.
    ASSERT_GE(crossed, 0);
    ASSERT_GE(raised, crossed);
    const int delay = raised - crossed;
    const double perPacket = 40.0 / 300 * 10;
    EXPECT_LE(delay, 3 + int(std::ceil(step / 2 / perPacket)));
    RecordProperty("delay_packets_after_threshold", delay);
    EXPECT_EQ(database->scalar(QStringLiteral("select count(*) from DRAIN_ALERTS")), "1");
    ASSERT_EQ(a.part.alertRows().size(), 1u);
    const TStoredDrain live = a.part.alertRows().front();
    EXPECT_EQ(b.part.alertRows().front().id, live.id);
    EXPECT_EQ(live.kind, TStoredDrain::Live);
    ASSERT_TRUE(live.end.has_value());
    const double slack = (10 + step / (40.0 / 300)) / 86400;
    EXPECT_NEAR(live.begin, start, slack) << (live.begin - start) * 86400 << " s";
    EXPECT_NEAR(*live.end, start + 5 / 1440.0, slack) << (*live.end - start) * 86400 << " s";
    EXPECT_NEAR(live.litres(), 40, std::max(1.0, 2 * step));
    EXPECT_GT(live.lat * live.lng, 0);
    // The row holds what the part shows.
    TDrainStore store(database->db);
    const std::vector<TStoredDrain> rows = store.period(kCrane, start - 1, start + 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_DOUBLE_EQ(rows[0].begin, live.begin);
    EXPECT_DOUBLE_EQ(*rows[0].end, *live.end);
    EXPECT_NEAR(rows[0].levelAfter, live.levelAfter, 1e-9);
    EXPECT_FALSE(rows[0].confirmed());
    const QStringList lines = drainLog();
    ASSERT_EQ(lines.size(), 4) << lines.join("\n").toStdString(); // raised and ended, twice
    EXPECT_TRUE(lines[0].startsWith("DRAINS:: Слив топлива на объекте №2005 Кран: "))
        << lines[0].toStdString();
    EXPECT_TRUE(lines.filter("окончен: ").size() == 2) << lines.join("\n").toStdString();
    ASSERT_EQ(sound.count(), 1);
    EXPECT_EQ(sound.at(0).at(0).toString(), options.DrainSoundFile);

    // The marker flashes on every workstation, the polling one included.
    EXPECT_EQ(polledIn.count(), 1);
    for (TWorkstation *w : {&a, &b, &c3}) {
        EXPECT_EQ(w->part.flashing(), QSet<int>{kCrane});
        EXPECT_TRUE(w->items.Item(kCrane)->marker()->FAlarm);
        EXPECT_TRUE(w->part.tmrFlash.isActive());
    }

    // The same readings stored and read back give the same drain.
    for (const TRow &r : stored) {
        db::TTransaction tr(database->db, db::TTransactionKind::Write);
        tr.start();
        db::TQuery q(tr, QStringLiteral("insert into INPUTSIGNALS (INS_NUMBER, INS_PACKTIME, "
                                        "INS_FUELLEVEL, INS_ERRORAVTOPROTECT) values (:n, :t, "
                                        ":f, :e)"));
        q.setParam(QStringLiteral("n"), kCrane);
        q.setParam(QStringLiteral("t"), db::TParam::timestamp(r.time));
        q.setParam(QStringLiteral("f"), r.raw);
        q.setParam(QStringLiteral("e"), r.engine);
        q.execute();
        tr.commit();
    }
    const std::optional<TObjectRecord> record = TObjectRegistry(database->db, dialogs).Find(kCrane);
    ASSERT_TRUE(record);
    TDrainHistory history(database->db, fmngr, cache);
    const std::vector<TStoredDrain> found =
        history.find(SubjectOf(*record, a.part.generalRule()), start - 20 / 1440.0, start + 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_DOUBLE_EQ(found[0].begin, live.begin);
    EXPECT_DOUBLE_EQ(*found[0].end, *live.end);
    EXPECT_NEAR(found[0].levelBefore, live.levelBefore, 1e-6);
    EXPECT_NEAR(found[0].levelAfter, live.levelAfter, 1e-6);
    // "Определить сливы" over the period adds nothing the alert already holds.
    EXPECT_EQ(a.part.detectPeriod(0, start - 1, start + 1), 0);
    EXPECT_EQ(a.part.period().rowCount(), 1);
    EXPECT_EQ(a.part.period().cellText(0, TDrainsTable::colKind), "на линии");

    // Confirmed here: the flashing stops here at once, elsewhere at the next poll, and nobody
    // can confirm it again.
    EXPECT_TRUE(a.part.confirm(live.id));
    EXPECT_TRUE(a.part.flashing().isEmpty());
    EXPECT_FALSE(a.items.Item(kCrane)->marker()->FAlarm);
    EXPECT_FALSE(a.part.tmrFlash.isActive());
    EXPECT_EQ(database->scalar(QStringLiteral("select DRN_CONFIRMED_BY from DRAIN_ALERTS")),
              "диспетчер");
    EXPECT_FALSE(database->isNull(QStringLiteral("select DRN_CONFIRMED_AT from DRAIN_ALERTS")));
    for (TWorkstation *w : {&b, &c3}) {
        w->part.tmrDrainPollTimer();
        EXPECT_TRUE(w->part.flashing().isEmpty());
        ASSERT_EQ(w->part.alertRows().size(), 1u);
        EXPECT_EQ(w->part.alertRows().front().confirmedBy, "диспетчер");
        EXPECT_FALSE(w->part.confirm(live.id));
    }
    EXPECT_TRUE(drainLog().filter("подтвержден: диспетчер").size() == 1);
    EXPECT_EQ(a.part.alerts().cellText(0, TDrainAlertsModel::colConfirm).left(20),
              "Подтвердил диспетчер");
    EXPECT_TRUE(dialogs.calls.empty());
}

// The try-out's story with the running simulator: a drain from the parked crane while the
// client watches. The alert comes at the very packet that completes the rule's threshold (the
// delay after the tank's true level crossed it is reported), it is stored, a reconnection of
// the database and the server finds it again (flashing, one row, though the drain goes on), and
// it is confirmed.
TEST_F(DrainsSessionTest, TheSimulatorsDrainIsRaisedStoredKeptOverAReconnectAndConfirmed) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    // 40 l in half a minute, a quarter of a minute from now, in the crane's zone.
    const TObjectConfig crane = craneConfig();
    const int zone = crane.timeZoneHours * 3600;
    qint64 drainUtc = QDateTime::currentSecsSinceEpoch() + 15;
    if (QDateTime::fromSecsSinceEpoch(drainUtc + zone, Qt::UTC).date() !=
        QDateTime::fromSecsSinceEpoch(drainUtc - 20 + zone, Qt::UTC).date()) {
        QThread::sleep(25); // "HH:MM:SS of today": not across the object's midnight
        drainUtc += 25;
    }
    const QString at = QDateTime::fromSecsSinceEpoch(drainUtc + zone, Qt::UTC)
                           .toString(QStringLiteral("HH:mm:ss"));
    TObjectConfig truth = crane;
    truth.drains = {{double(drainUtc), 40, 0.5}};
    const TObjectSim sim(truth, 1);
    registerCrane(*database, sim);

    TSimProcess server({"--account", "demo:demo", "--object", "2005", "--packet-interval", "1",
                        "--keepalive", "0", "--fault-drain", "2005," + at + ",40,0.5"});
    ASSERT_TRUE(server.ok()) << "the simulator did not start";
    options.DBServ = database->settings.server;
    options.DBPath = database->settings.path;
    options.AppServer = "127.0.0.1";
    options.AppPort = server.port().toInt();
    options.AppLogin = "demo";
    options.AppPass = "demo";
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    TDrainsPart &drains = s.drains();

    std::vector<TFuelReading> readings;
    std::vector<double> litres; // what the tank held at each packet
    int raisedAt = -1, raised = 0;
    QObject::connect(&s.server(), &TServerController::packetsApplied,
                     [&](const std::vector<TAppliedPacket> &applied) {
                         for (const TAppliedPacket &p : applied)
                             if (p.object && p.updating && p.object->Number == kCrane) {
                                 readings.push_back(LiveReading(*p.object));
                                 const double utc = (p.object->TS - kUnixDay0) * 86400 - zone;
                                 litres.push_back(sim.stateAt(utc).litres);
                             }
                     });
    // The part hears the packet first: the packet being applied is the next reading.
    QObject::connect(&drains, &TDrainsPart::alertRaised, [&] {
        ++raised;
        if (raisedAt < 0)
            raisedAt = int(readings.size());
    });
    s.connectServer();
    ASSERT_TRUE(waitUntil([&] { return raisedAt >= 0; }, 90000))
        << "no alert; " << readings.size() << " packets";

    // The rule over the same readings completes its threshold at that very packet.
    std::vector<TCalibrationPoint> table;
    for (const auto &[reading, l] : sim.calibration())
        table.push_back({reading, l, 1});
    TDrainDetector rule(drains.ruleOf(kCrane), CalibrationStep(table));
    int ruleAt = -1;
    for (size_t i = 0; i < readings.size() && ruleAt < 0; ++i)
        if (const auto e = rule.feed(readings[i]); e && e->kind == TDrainEventKind::Raised)
            ruleAt = int(i);
    ASSERT_GE(ruleAt, 0);
    EXPECT_GE(raisedAt, ruleAt);
    EXPECT_LE(raisedAt, ruleAt + 1);
    const double before = sim.stateAt(double(drainUtc)).litres;
    int crossed = -1;
    for (size_t i = 0; i < litres.size() && crossed < 0; ++i)
        if (litres[i] <= before - 20)
            crossed = int(i);
    ASSERT_GE(crossed, 0);
    RecordProperty("live_delay_packets_after_threshold", raisedAt - crossed);
    RecordProperty("live_delay_packets_after_rule", raisedAt - ruleAt);

    // Stored, with the crane's position, flashing.
    ASSERT_EQ(drains.alertRows().size(), 1u);
    const int id = drains.alertRows().front().id;
    EXPECT_GT(id, 0);
    EXPECT_EQ(database->scalar(QStringLiteral("select count(*) from DRAIN_ALERTS where "
                                              "DRN_OBJECT = 2005 and DRN_KIND = 0 and "
                                              "DRN_CONFIRMED_AT is null and DRN_LAT > 0")),
              "1");
    EXPECT_EQ(drains.flashing(), QSet<int>{kCrane});
    EXPECT_TRUE(s.map().items().Item(kCrane)->marker()->FAlarm);

    // A reconnection of both: the alert is there again, flashing, on the same row while the
    // drain goes on.
    s.disconnectServer();
    s.database().disconnectDatabase();
    EXPECT_TRUE(drains.alertRows().empty());
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    ASSERT_EQ(drains.alertRows().size(), 1u);
    EXPECT_EQ(drains.alertRows().front().id, id);
    EXPECT_EQ(drains.flashing(), QSet<int>{kCrane});
    EXPECT_TRUE(s.map().items().Item(kCrane)->marker()->FAlarm);
    const size_t seen = readings.size();
    s.connectServer();
    ASSERT_TRUE(waitUntil([&] { return readings.size() >= seen + 10; }, 30000));
    EXPECT_EQ(database->scalar(QStringLiteral("select count(*) from DRAIN_ALERTS")), "1");
    ASSERT_EQ(drains.alertRows().size(), 1u);
    EXPECT_EQ(raised, 1) << "announced again after the reconnection";

    // Confirmed: the row says by whom, the marker stops.
    EXPECT_TRUE(drains.confirm(id));
    EXPECT_EQ(database->scalar(QStringLiteral("select DRN_CONFIRMED_BY from DRAIN_ALERTS")),
              "demo");
    EXPECT_TRUE(drains.flashing().isEmpty());
    EXPECT_FALSE(s.map().items().Item(kCrane)->marker()->FAlarm);
    s.disconnectServer();
    s.database().disconnectDatabase();
    for (const auto &c : dialogs.calls)
        ADD_FAILURE() << c.text.toStdString();
}

// A database of the structure before the drains (the update was declined): the alert still
// shows, flashes and is confirmed, in memory only; nothing asks or fails on the way.
TEST_F(DrainsSessionTest, WithoutTheDrainTablesTheAlertLivesInMemory) {
    auto database = onlinetest::makeDatabase();
    ASSERT_TRUE(database);
    database->exec(QStringLiteral("drop table DRAIN_ALERTS"));
    database->exec(QStringLiteral("drop table DRAIN_RULES"));
    database->exec(QStringLiteral("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME, "
                                  "OBJ_USEENGINEFORPARK) VALUES (7, 'Семь', 300, 1)"));
    TFManager fmngr;
    TWorkstation w(options, dialogs, database->db, fmngr);
    w.registry(*database, CoordCacheDir());
    TControllableObject *o = w.manager->FindObject(7);
    ASSERT_TRUE(o);
    // A reading every 10 s, engine off: 200 l, then 2 l a reading.
    const TDateTime t0 = dt::encode(2026, 12, 9, 3, 0, 0);
    for (int i = 0; i < 60; ++i) {
        o->TS = t0 + i * 10 / 86400.0;
        o->FuelLevel = 500;
        o->FuelLevelL = i < 30 ? 200 : 200 - 2 * (i - 30);
        o->V24Gen = 0;
        w.part.onPacketsApplied({TAppliedPacket{o, true, o->TS}});
    }
    ASSERT_EQ(w.part.alertRows().size(), 1u);
    EXPECT_LT(w.part.alertRows().front().id, 0);
    EXPECT_EQ(w.part.flashing(), QSet<int>{7});
    w.part.tmrDrainPollTimer();
    EXPECT_EQ(w.part.alertRows().size(), 1u);
    EXPECT_TRUE(w.part.confirm(w.part.alertRows().front().id));
    EXPECT_TRUE(w.part.flashing().isEmpty());
    EXPECT_TRUE(w.dialogs().calls.empty());
    EXPECT_TRUE(drainLog().filter("Не удалось").isEmpty());
}
