// Import of device data files against the local Firebird server.

#include "db/TrackImport.h"
#include "common/ScriptedDialogs.h"
#include "db/GroupManager.h"
#include "db/OnlineDb.h"
#include "tracks/DeviceData.h"
#include "tracks/FileManager.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const TDateTime Day = 41713; // 15.03.2014

// Short state strings of version 1 that differ in their supply-voltage byte.
QByteArray state(int voltage) {
    QByteArray s("\x00\x08\x00\x00\x08\x01\x00\x01\x00", 9);
    s[8] = char(voltage);
    return s;
}

TDeviceRecord record(double hours, double northMinutes, const QByteArray &st) {
    return TDeviceRecord{Day + hours / 24, TGeoCoords{3345.0L + northMinutes, 2256.0L}, st};
}

QByteArray fileOf(const std::vector<TDeviceRecord> &records) {
    QByteArray b;
    for (const TDeviceRecord &r : records)
        b += r.toBytes();
    return b;
}

class TrackImportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { database = onlinetest::makeDatabase(); }
    static void TearDownTestSuite() { database.reset(); }

    void SetUp() override {
        ASSERT_TRUE(database);
        database->exec("DELETE FROM OBJECTS");
        database->exec("DELETE FROM INPUTSIGNALS");
        for (const auto &[n, zone] :
             {std::pair{7, 0}, std::pair{8, 3}, std::pair{12, 0}, std::pair{1000, 0}})
            database->exec(QString("INSERT INTO OBJECTS (OBJ_NUMBER, OBJ_NAME, OBJ_TIMEZONE) "
                                   "VALUES (%1, 'Объект %1', %2)")
                               .arg(n)
                               .arg(zone));
        cacheDir = cache.path() + "/";
        registry = std::make_unique<TManager>(database->settings, dialogs, cacheDir);
        import = std::make_unique<TTrackImport>(*registry, fmngr, database->settings, cacheDir,
                                                progress);
    }

    TFileImportResult importBytes(const QByteArray &bytes, int number,
                                  const QString &name = "20140315.dat") {
        QBuffer b;
        b.setData(bytes);
        b.open(QIODevice::ReadOnly);
        return import->FileToDB(name, b, number);
    }
    std::vector<TCoordData> trackFile(int number, const QString &name = "20140315.dat") {
        TTrackFile f;
        f.fname = cacheDir + QString::number(number) + "/" + name;
        f.load();
        return f.coords.values();
    }
    QString count(const QString &where) {
        return database->scalar("SELECT COUNT(*) FROM INPUTSIGNALS WHERE " + where);
    }
    QString objectColumn(int n, const char *column) {
        return database->scalar(
            QString("SELECT %1 FROM OBJECTS WHERE OBJ_NUMBER = %2").arg(column).arg(n));
    }
    QString writeDataFile(const QString &relative, const QByteArray &bytes) {
        const QString path = data.path() + "/" + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    TScriptedDialogs dialogs;
    QTemporaryDir cache, data;
    QString cacheDir;
    TFManager fmngr;
    TImportProgress progress;
    std::unique_ptr<TManager> registry;
    std::unique_ptr<TTrackImport> import;
    static inline std::unique_ptr<onlinetest::TScriptDatabase> database;
};

} // namespace

TEST_F(TrackImportTest, IdenticalStatesWriteOneRowAndEveryPosition) {
    const auto r = importBytes(
        fileOf({record(10, 0, state(1)), record(10.1, 0.1, state(1)), record(10.2, 0.2, state(1))}),
        7);
    EXPECT_EQ(r.positions, 3);
    EXPECT_EQ(r.stateRows, 1);
    EXPECT_EQ(count("INS_NUMBER = 7"), "1");
    EXPECT_EQ(trackFile(7).size(), 3u);
    // The registered object, not connected and older, takes the file's last state and position.
    const TControllableObject *o = registry->FindObject(7);
    EXPECT_TRUE(r.objectUpdated && r.positionUpdated);
    EXPECT_NEAR(double(o->Lat), 3345.2, 1e-9);
    EXPECT_EQ(o->PackTimeText(), "15.03.2014 10:00:00"); // the time of the last state change
    EXPECT_EQ(objectColumn(7, "OBJ_LAT"), "3345,2");
}

TEST_F(TrackImportTest, CutRecordsStillGivePositionsButNoState) {
    QByteArray bytes = fileOf({record(10, 0, state(1)), record(10.1, 0.1, state(2))});
    QByteArray cutState = record(10.2, 0.2, state(3)).toBytes();
    cutState.chop(3); // the state bytes end early
    const auto r = importBytes(bytes + cutState, 7);
    EXPECT_EQ(r.positions, 3);
    EXPECT_EQ(r.stateRows, 2);
    EXPECT_EQ(count("INS_NUMBER = 7"), "2");
    ASSERT_EQ(trackFile(7).size(), 3u);
    EXPECT_NEAR(double(trackFile(7).back().lat), 3345.2, 1e-9);

    // A record cut inside its position adds nothing.
    QByteArray cutPosition = record(10.3, 0.3, state(4)).toBytes().left(20);
    EXPECT_EQ(importBytes(bytes + cutPosition, 7, "20140316.dat").positions, 2);
}

TEST_F(TrackImportTest, TheTrackFileIsReplacedUnlessTheRegistryHoldsIt) {
    const QString name = cacheDir + "7/20140315.dat";
    {
        TTrackFile *f = fmngr.get(name);
        for (int i = 0; i < 5; ++i)
            f->add(TCoordData{3300, 2200, Day + (1 + i) / 24.0, 0});
        fmngr.FreeFile(name, true);
    }
    importBytes(fileOf({record(10, 0, state(1)), record(11, 0, state(1))}), 7);
    EXPECT_EQ(trackFile(7).size(), 2u);

    // Held open by a reader, the records it holds stay and the file's are added.
    TTrackFile *held = fmngr.get(name);
    held->load();
    importBytes(fileOf({record(12, 0, state(1))}), 7);
    EXPECT_EQ(trackFile(7).size(), 3u);
    fmngr.FreeFile(name, false);
}

TEST_F(TrackImportTest, TimeZoneShiftCrossesMidnightInsideTheDataFilesOwnDayFile) {
    // Object 8 is 3 hours ahead: 21:30 on the device is 00:30 of the next day.
    importBytes(fileOf({record(21.5, 0, state(1))}), 8);
    const auto t = trackFile(8);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(dt::formatDateTime("dd.mm.yyyy hh:nn", t[0].ts), "16.03.2014 00:30");
    EXPECT_FALSE(QFile::exists(cacheDir + "8/20140316.dat"));
    EXPECT_EQ(count("INS_NUMBER = 8 AND INS_PACKTIME = '16.03.2014 00:30:00'"), "1");
}

TEST_F(TrackImportTest, AConnectedObjectKeepsItsStateAndGetsTheHistory) {
    TControllableObject *o = registry->FindObject(7);
    o->Connected = true;
    const QString lat = objectColumn(7, "OBJ_LAT");
    const auto r = importBytes(fileOf({record(10, 0, state(1)), record(11, 0.5, state(2))}), 7);
    EXPECT_FALSE(r.objectUpdated);
    EXPECT_EQ(o->Lat, 0);
    EXPECT_EQ(objectColumn(7, "OBJ_LAT"), lat);
    EXPECT_EQ(count("INS_NUMBER = 7"), "2");
    EXPECT_EQ(trackFile(7).size(), 2u);
}

TEST_F(TrackImportTest, AnUnknownObjectIsAnErrorAndWritesNothing) {
    EXPECT_THROW(importBytes(fileOf({record(10, 0, state(1))}), 404), EUnknownObject);
    EXPECT_FALSE(QFile::exists(cacheDir + "404"));
    EXPECT_EQ(count("INS_NUMBER = 404"), "0");
}

TEST_F(TrackImportTest, FolderImportVisitsNumberedFoldersUpTo999) {
    const QByteArray bytes = fileOf({record(10, 0, state(1))});
    writeDataFile("12/20140315.dat", bytes);
    writeDataFile("13/20140315.dat", bytes); // not registered
    writeDataFile("1000/20140315.dat", bytes);
    import->importDirectory(data.path()).runToEnd();
    EXPECT_EQ(count("INS_NUMBER = 12"), "1");
    EXPECT_EQ(count("INS_NUMBER = 1000"), "0");
    EXPECT_EQ(progress.lines(),
              (QStringList{"Импорт данных объекта №12", "  файл \"20140315.dat\" импортирован",
                           "Импорт данных объекта №13",
                           "  ошибка, файл \"20140315.dat\": объект № 13 не зарегистрирован в "
                           "базе данных"}));
    EXPECT_EQ(progress.position(), 999);
    EXPECT_EQ(progress.buttonText(), "Закрыть");
    EXPECT_TRUE(progress.Cancelled);
    EXPECT_EQ(import->failedFiles(), 1);
}

TEST_F(TrackImportTest, ChosenFilesAreLoggedAndCancelStopsAfterTheCurrentFile) {
    const QString a = writeDataFile("a/20140315.dat", fileOf({record(10, 0, state(1))}));
    const QString b = writeDataFile("a/20140316.dat", fileOf({record(10, 0, state(2))}));
    const QString c = writeDataFile("a/bad.dat", QByteArray());
    import->importFiles({a, c}, 7).runToEnd();
    EXPECT_EQ(progress.lines(), (QStringList{"Импорт файла: " + a, "  успешно импортирован в базу",
                                             "Импорт файла: " + c, "  успешно импортирован в базу",
                                             "Импорт завершен"}));
    // The button at the bar's end closes the window.
    int closed = 0;
    QObject::connect(&progress, &TImportProgress::closed, [&] { ++closed; });
    progress.cancelBtnClick();
    EXPECT_EQ(closed, 1);

    // "Отмена" pressed at the first pause of a run of two files: the second is not imported.
    TRunTask run = import->importFiles({b, a}, 7);
    bool pressed = false;
    while (run.resume())
        if (!pressed) {
            pressed = true;
            progress.cancelBtnClick();
        }
    EXPECT_TRUE(pressed);
    EXPECT_EQ(progress.lines(), (QStringList{"Импорт файла: " + b, "  успешно импортирован в базу",
                                             "Отменено пользователем."}));
    EXPECT_EQ(progress.buttonText(), "Закрыть");
    EXPECT_EQ(progress.position(), 1);
}

TEST_F(TrackImportTest, FileToTrackWritesPositionsOnly) {
    const QString f = writeDataFile("1000/demo.dat",
                                    fileOf({record(10, 0, state(1)), record(11, 0.5, state(2))}) +
                                        record(12, 0, state(3)).toBytes().left(30));
    import->FileToTrack(f, 1000);
    const auto t = trackFile(1000, "demo.dat");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].g24, 0);
    EXPECT_EQ(count("INS_NUMBER = 1000"), "0");
}

TEST_F(TrackImportTest, AnImportThatCannotConnectLeavesTheDayFileAsItWas) {
    // The day file the live recording wrote: three positions.
    importBytes(fileOf({record(10, 0, state(1)), record(11, 0.1, state(2)),
                        record(12, 0.2, state(3))}),
                7);
    ASSERT_EQ(trackFile(7).size(), 3u);
    const QString dayFile = cacheDir + "7/20140315.dat";
    const QByteArray before = [&] {
        QFile f(dayFile);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }();

    // The same folder imported while the server cannot be reached: each file fails, and the day
    // file keeps every record.
    db::TConnectionSettings down = database->settings;
    down.server = "127.0.0.1/1"; // nothing listens there
    TTrackImport failing(*registry, fmngr, down, cacheDir, progress);
    writeDataFile("7/20140315.dat", fileOf({record(13, 0.3, state(4))}));
    failing.importDirectory(data.path()).runToEnd();
    EXPECT_EQ(failing.failedFiles(), 1);
    QFile f(dayFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}
