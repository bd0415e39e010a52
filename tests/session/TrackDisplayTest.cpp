// The track display, the imports and the demonstration object of the session, against the
// local Firebird server: packets extend the active object's drawn track, a loaded track is
// divided and drawn part by part, imports keep the connection out of reach, and the
// demonstration object replays its file.

#include "app/Folders.h"
#include "app/Logging.h"
#include "app/Options.h"
#include "app/OptionsIO.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "db/TrackImport.h"
#include "maps/MapObjManager.h"
#include "maps/MapObjects.h"
#include "online/OnlineData.h"
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
#include "session/ServerMessages.h"
#include "session/TrackDisplay.h"
#include "session/WebMapPart.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"
#include "tracks/TrackPartsModel.h"
#include "webmap/WebMapBridge.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QByteArray packet(int hh, int mi, int ss, const QByteArray &position) {
    QByteArray p;
    p.append(char(0x08));
    p.append(char(hh + 48)).append(char(mi + 48)).append(char(ss + 48));
    p.append(char(10 + 48)).append(char(12 + 48)).append(char(26 + 27)); // 10.12.2026
    p.append(position).append('\xCF').append('|').append(
        QByteArray("\x00\x09\x00\x00\x11\x01\x00\x01\x00", 9));
    p.append(char(PacketChecksum(p, p.size())));
    p.append('#');
    return p;
}

const QByteArray kPos("\x52\x5D\x27\x3D\x40\x54\x27\x3D", 8); // 3345.1234 / 2256.1234

// A point the given ground distance north of `from`, `seconds` later.
TCoordData northOf(const TCoordData &from, long double metres, double seconds) {
    long double lo = from.lat, hi = from.lat + metres / 1000;
    for (int i = 0; i < 200; ++i) {
        const long double mid = (lo + hi) / 2;
        (GeoDistance({from.lat, from.lng}, {mid, from.lng}) < metres ? lo : hi) = mid;
    }
    return TCoordData{hi, from.lng, from.ts + seconds / 86400, 0};
}

struct TRecordingBrowser : TWebMapBrowser {
    QStringList scripts;
    void navigate(const QUrl &) override {}
    void setSilent(bool) override {}
    void runJavaScript(const QString &script, std::function<void(const QVariant &)> = {}) override {
        scripts << script;
    }
    int count(const QString &function) const {
        return int(std::count_if(scripts.begin(), scripts.end(), [&](const QString &s) {
            return s.contains("window[\"" + function + "\"]");
        }));
    }
};

struct TrackSessionTest : ::testing::Test {
    QTemporaryDir tmp;
    TOptions options;
    TScriptedDialogs dialogs;
    std::unique_ptr<onlinetest::TScriptDatabase> database;
    TRecordingBrowser browser;

    void SetUp() override {
        const TFolders f = ComputeFolders(tmp.path() + "/zarnex-client");
        SetFolders(f);
        options = options::Defaults(f);
        database = onlinetest::makeDatabase();
        ASSERT_TRUE(database);
        database->exec("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TANKVOLUME) "
                       "VALUES (7, 'Семь', 500)");
        options.DBServ = database->settings.server;
        options.DBPath = database->settings.path;
    }
    // Connected, object 7 chosen in the grid, the web map "loaded" into the recorder.
    void start(TClientSession &s) {
        s.database().connectDatabase();
        ASSERT_TRUE(s.registry());
        s.live().selectObject(7, 1);
        ASSERT_EQ(s.map().items().GetActiveObject(), 7);
        s.webMap().bridge().setBrowser(&browser);
        s.webMap().bridge().InternetIsOK = true;
        options.UseGoogleMap = true;
    }
    TTrack &rasterTrack(TClientSession &s, int n = 7) { return *s.map().items().Item(n)->track(); }
};

} // namespace

TEST_F(TrackSessionTest, PacketsExtendTheActiveObjectsTrackOnlyInOnLineMode) {
    options.MinSpeed = 0;
    TClientSession s(options, dialogs);
    start(s);
    QByteArray pos2 = kPos;
    pos2[3] = char(61 + 1); // 0.0001' further north
    s.server().ProcessLine("d|7|data|" + packet(9, 0, 0, kPos));
    // The first point has no predecessor: the page's line starts there, the raster waits.
    EXPECT_EQ(browser.count("append_track"), 1);
    EXPECT_EQ(browser.count("cleanup_current_track"), 1);
    s.server().ProcessLine("d|7|data|" + packet(9, 1, 0, pos2));
    EXPECT_EQ(browser.count("append_track_ex"), 1) << browser.scripts.join("\n").toStdString();
    const int drawn = rasterTrack(s).Count();
    EXPECT_GE(drawn, 1);
    EXPECT_EQ(rasterTrack(s).Point(drawn - 1).DateTime,
              s.registry()->FindObject(7)->track.coords.back().ts);

    // Archive view: the packet is recorded but the drawn track stays.
    s.tracks().tbBrowseModeClick(true);
    s.server().ProcessLine("d|7|data|" + packet(9, 2, 0, kPos));
    EXPECT_EQ(rasterTrack(s).Count(), drawn);
    EXPECT_EQ(browser.count("append_track_ex"), 1);
    EXPECT_EQ(s.registry()->FindObject(7)->track.coords.size(), 3u);
    s.database().disconnectDatabase();
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(TrackSessionTest, ALoadedTrackIsDividedTabledAndDrawnPartByPart) {
    // 10.12.2026: 7 moving pairs, a stop of one minute, then a movement with a 25 s and a
    // 20 s gap.
    std::vector<TCoordData> c{TCoordData{3345.0L, 2256.0L, dt::encode(2026, 12, 10, 9), 0}};
    const auto step = [&](double seconds, double metres, int times) {
        for (int i = 0; i < times; ++i)
            c.push_back(northOf(c.back(), metres, seconds));
    };
    step(10, 100, 7);
    step(10, 0, 7);
    step(10, 100, 6);
    step(25, 150, 1);
    step(20, 150, 1);
    step(10, 100, 5);
    TFManager fm;
    QDir().mkpath(CoordCacheDir());
    const QString day = CoordCacheDir() + "7/20261210.dat";
    {
        TTrackFile *f = fm.get(day);
        for (const TCoordData &p : c)
            f->add(p);
        fm.FreeFile(day, true);
    }

    TClientSession s(options, dialogs);
    start(s);
    QSignalSpy shown(&s.tracks(), &TTrackDisplay::trackTableShown);
    TLoadTrackRequest r{7, false, dt::encode(2026, 12, 10), dt::encode(2026, 12, 10, 23, 59, 59),
                        false};
    s.tracks().miLoadTrackClick(r);
    EXPECT_TRUE(s.tracks().isArchiveView());
    EXPECT_EQ(shown.count(), 1);
    ASSERT_EQ(s.tracks().trackList(), (ArrayTracks{{true, 0, 7}, {false, 8, 14}, {true, 15, 27}}));
    EXPECT_EQ(s.tracks().trackParts().rowCount(), 4);
    EXPECT_EQ(s.tracks().trackParts().rowTexts(2).value(0), "стоянка");
    EXPECT_EQ(s.map().items().restPlaces().size(), 1u);
    EXPECT_EQ(browser.count("add_park"), 1);
    EXPECT_EQ(browser.count("begin_track"), 1);
    EXPECT_EQ(browser.count("put_point_ex"), rasterTrack(s).Count() - 1); // less the archive step

    // A point 25 s after its predecessor ends a lost-signal stretch; 20 s does not.
    const auto lost = [&](const TCoordData &p) {
        const TTrack &t = rasterTrack(s);
        for (int i = 0; i < t.Count(); ++i)
            if (t.Point(i).DateTime == p.ts)
                return int(t.Point(i).GPSLost);
        return -1;
    };
    EXPECT_EQ(lost(c[21]), 1);
    EXPECT_EQ(lost(c[22]), 0);

    // One part: only its points; "Весь" draws all again.
    s.tracks().tbBrowseModeClick(false);
    s.tracks().sgTrackClick(1);
    EXPECT_TRUE(s.tracks().isArchiveView());
    EXPECT_EQ(rasterTrack(s).Count(), 7);
    EXPECT_EQ(browser.count("go_to"), 1);
    s.tracks().sgTrackClick(0);
    EXPECT_EQ(rasterTrack(s).Count(), 7 + 12);

    // "Экспорт трека в GPX...": the parts of the shown track.
    const QString gpx = tmp.path() + "/track.gpx";
    dialogs.files = {{gpx}};
    s.tracks().exportTrackGpx();
    QFile g(gpx);
    ASSERT_TRUE(g.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(g.readAll());
    EXPECT_EQ(text.count("<trkseg>"), 2);
    EXPECT_EQ(text.count("<trkpt "), 8 + 13);
    EXPECT_EQ(text.count("<wpt "), 1);

    // An end before the start changes nothing but the table.
    r.end = r.start - 1;
    s.tracks().miLoadTrackClick(r);
    EXPECT_TRUE(s.tracks().trackList().empty());
    EXPECT_EQ(rasterTrack(s).Count(), 7 + 12);

    s.tracks().miClearTrackClick();
    EXPECT_FALSE(s.tracks().isArchiveView());
    EXPECT_EQ(rasterTrack(s).Count(), 0);
    EXPECT_TRUE(s.registry()->FindObject(7)->track.coords.empty());
    EXPECT_EQ(s.tracks().trackParts().rowTexts(0), QStringList(6, "-"));
    s.database().disconnectDatabase();
}

TEST_F(TrackSessionTest, ImportKeepsTheConnectionOutOfReachAndDefersClosing) {
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    const QString file = tmp.path() + "/20261210.dat";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 3; ++i)
            f.write(TDeviceRecord{
                dt::encode(2026, 12, 10, 9, i), {3345.0L, 2256.0L}, QByteArray(9, char(i))}
                        .toBytes());
    }
    // "Отмена" of the number dialog, then 0: nothing imported.
    dialogs.files = {{file}, {file}, {file}};
    dialogs.texts = {QString(), "0", "7"};
    s.runs().miImportFilesClick();
    EXPECT_FALSE(s.runs().importProgress().isShown());
    s.runs().miImportFilesClick();
    EXPECT_EQ(dialogs.messages(), QStringList{"Введен неверный номер объекта. Попробуйте снова."});
    EXPECT_EQ(dialogs.calls.back().caption, "Добавление данных из файла в базу");
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS"), "0");

    QSignalSpy closeRequests(&s, &TClientSession::closeRequested);
    QSignalSpy finished(&s.runner(), &TRunner::finished);
    int checks = 0;
    // The window's events go on while the import runs.
    QTimer window;
    QObject::connect(&window, &QTimer::timeout, [&] {
        if (!s.runner().active() || checks++)
            return;
        for (TSessionCommand c : {TSessionCommand::DatabaseConnect, TSessionCommand::DatabaseButton,
                                  TSessionCommand::DatabaseDisconnect, TSessionCommand::ClearCache,
                                  TSessionCommand::UpdateDatabase, TSessionCommand::ImportFiles,
                                  TSessionCommand::ImportFolder})
            EXPECT_FALSE(s.isEnabled(c)) << int(c);
        EXPECT_FALSE(s.requestClose());    // exit waits
        s.database().disconnectDatabase(); // a stray command changes nothing
        EXPECT_TRUE(s.database().connected());
    });
    window.start(0);
    s.runs().miImportFilesClick();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_GT(checks, 0);
    EXPECT_EQ(closeRequests.count(), 1);
    EXPECT_TRUE(s.isEnabled(TSessionCommand::ImportFiles));
    EXPECT_TRUE(s.requestClose());
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 7"), "3");
    EXPECT_EQ(s.runs().importProgress().lines().last(), "Импорт завершен");
    s.database().disconnectDatabase();
}

TEST_F(TrackSessionTest, TheDemonstrationObjectReplaysItsFile) {
    // Four records; the second has no fix.
    QDir().mkpath(DataDir() + "1000");
    {
        QFile f(DataDir() + "1000/demo.dat");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray st("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
        const long double lats[] = {3345.0L, 0, 3345.1L, 3345.2L};
        for (int i = 0; i < 4; ++i)
            f.write(TDeviceRecord{
                dt::encode(2024, 5, 14, 8, 0, 10 * i), {lats[i], lats[i] ? 2256.0L : 0}, st}
                        .toBytes());
    }
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    ASSERT_TRUE(s.registry());
    QSignalSpy rows(&s.demo(), &TDemoObject::gridRowSelectRequested);
    s.demo().miDemoModeClick();
    ASSERT_TRUE(s.demo().demoModeOn()) << dialogs.messages().join("\n").toStdString();
    EXPECT_TRUE(s.demo().tmrDemoMode.isActive());
    EXPECT_EQ(s.demo().tmrDemoMode.interval(), 2000);
    EXPECT_EQ(s.map().items().GetActiveObject(), 1000);
    EXPECT_EQ(rows.count(), 1);
    EXPECT_EQ(database->scalar("SELECT OBJ_NAME FROM OBJECTS WHERE OBJ_NUMBER = 1000"),
              "демо-объект");
    EXPECT_EQ(QFile(CoordCacheDir() + "1000/demo.dat").size(), 4 * 48);

    // Stopped and started again: still one object 1000, the second insert failed silently.
    s.demo().miDemoModeClick();
    EXPECT_FALSE(s.demo().tmrDemoMode.isActive());
    s.demo().miDemoModeClick();
    ASSERT_TRUE(s.demo().demoModeOn());
    const auto &objects = s.registry()->FObjects;
    EXPECT_EQ(
        std::count_if(objects.begin(), objects.end(), [](auto *o) { return o->Number == 1000; }),
        1);
    EXPECT_TRUE(dialogs.calls.empty()) << dialogs.messages().join("\n").toStdString();

    // The page shows the replay too.
    s.webMap().bridge().setBrowser(&browser);
    s.webMap().bridge().InternetIsOK = true;
    options.UseGoogleMap = true;
    TControllableObject *o = s.registry()->FindObject(1000);
    QStringList status;
    QObject::connect(&s, &TClientSession::statusText, [&](TStatusField f, const QString &t) {
        if (f == TStatusField::LinkEvent)
            status << t;
    });
    s.demo().tmrDemoModeTimer();
    EXPECT_NEAR(double(o->Lat), 3345.0, 1e-9);
    EXPECT_TRUE(o->Connected);
    EXPECT_EQ(status.last(), "Данные с объекта № 1000 (демонстрация)");
    s.demo().tmrDemoModeTimer(); // 0/0: skipped, the timer keeps running
    EXPECT_NEAR(double(o->Lat), 3345.0, 1e-9);
    EXPECT_TRUE(s.demo().tmrDemoMode.isActive());
    s.demo().tmrDemoModeTimer();
    EXPECT_NEAR(double(o->Lat), 3345.1, 1e-9);
    EXPECT_EQ(o->track.coords.size(), 2u);
    EXPECT_EQ(o->CCoords.size(), 1u);
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 1000"), "2");
    EXPECT_GE(browser.count("marker_at"), 2);

    // Archive view: state, rows and marker, but no drawn track.
    s.tracks().tbBrowseModeClick(true);
    s.demo().tmrDemoModeTimer();
    EXPECT_NEAR(double(o->Lat), 3345.2, 1e-9);
    EXPECT_EQ(o->track.coords.size(), 2u);
    EXPECT_EQ(database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE INS_NUMBER = 1000"), "3");
    // The end of the file: nothing changes any more.
    s.demo().tmrDemoModeTimer();
    EXPECT_NEAR(double(o->Lat), 3345.2, 1e-9);
    EXPECT_TRUE(s.demo().tmrDemoMode.isActive());

    // Losing the database switches the replay off.
    s.database().disconnectDatabase();
    EXPECT_FALSE(s.demo().demoModeOn());
    EXPECT_FALSE(s.demo().tmrDemoMode.isActive());
}

TEST_F(TrackSessionTest, TheShippedDemonstrationFileGivesATrackWithParts) {
    // The program folder's file, as a fresh installation has it.
    const QString shipped = ZARNEX_BIN_DIR "/data/1000/demo.dat";
    ASSERT_TRUE(QFile::exists(shipped));
    QDir().mkpath(DataDir() + "1000");
    ASSERT_TRUE(QFile::copy(shipped, DataDir() + "1000/demo.dat"));
    TClientSession s(options, dialogs);
    s.database().connectDatabase();
    s.demo().miDemoModeClick();
    ASSERT_TRUE(s.demo().demoModeOn()) << dialogs.messages().join("\n").toStdString();
    s.tracks().miLoadTrackClick(TLoadTrackRequest{1000, true, 0, 0, false});
    // Depot, customer, filling station, last stop: movements between the four stops (the wait
    // at the traffic lights is folded into the drive).
    const ArrayTracks &parts = s.tracks().trackList();
    ASSERT_GE(parts.size(), 5u);
    EXPECT_EQ(std::count_if(parts.begin(), parts.end(), [](auto &p) { return !p.moving; }), 4);
    for (const TCoordData &p : s.registry()->FindObject(1000)->track.coords) {
        EXPECT_GT(double(p.lat), 55.5 * 60);
        EXPECT_LT(double(p.lat), 56.0 * 60);
        EXPECT_GT(double(p.lng), (37 + 22 / 60.0) * 60);
        EXPECT_LT(double(p.lng), (37 + 52 / 60.0) * 60);
    }
    s.database().disconnectDatabase();
}
