#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

#include "app/IniFile.h"
#include "tracks/FileManager.h"
#include "tracks/TrackAnalysis.h"

namespace {

// 2014-03-15 (a literal: namespace-scope values are built before the date helpers are ready).
constexpr TDateTime Day = 41713;

TCoordData rec(TDateTime ts, int g24 = 0, long double lat = 3345.1234L) {
    TCoordData c;
    c.lat = lat;
    c.lng = 2256.789L + ts;
    c.ts = ts;
    c.g24 = g24;
    return c;
}

TDateTime hours(double h) {
    return Day + h / 24;
}

QByteArray image(const std::vector<TCoordData> &v) {
    QByteArray b;
    for (const TCoordData &c : v) {
        unsigned char r[TCoordData::RecordSize];
        c.toBytes(r);
        b.append(reinterpret_cast<const char *>(r), TCoordData::RecordSize);
    }
    return b;
}

void writeRaw(const QString &name, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(name).path());
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readRaw(const QString &name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<double> times(const TCoordArray &c) {
    std::vector<double> t;
    for (const TCoordData &r : c)
        t.push_back(r.ts);
    return t;
}

std::vector<double> times(const std::vector<TCoordData> &c) {
    std::vector<double> t;
    for (const TCoordData &r : c)
        t.push_back(r.ts);
    return t;
}

class TrackFileTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString path(const QString &rel) const { return tmp.path() + QLatin1Char('/') + rel; }
};

} // namespace

TEST_F(TrackFileTest, HundredByteFileGivesTwoRecords) {
    const QString name = path(QStringLiteral("1000/20140315.dat"));
    writeRaw(name, image({rec(hours(1)), rec(hours(2))}) + QByteArray(4, '\x11'));
    TTrackFile f;
    f.fname = name;
    f.load();
    ASSERT_EQ(f.coords.size(), 2);
    EXPECT_EQ(f.coords[0].ts, hours(1));
    EXPECT_EQ(f.coords[1].ts, hours(2));
    EXPECT_EQ(f.coords[1].lng, rec(hours(2)).lng);
}

TEST_F(TrackFileTest, SaveWritesTheImageAndAnEmptyTrackDeletesTheFile) {
    const QString name = path(QStringLiteral("7/20140315.dat"));
    TTrackFile f;
    f.fname = name;
    f.add(rec(hours(1), 1));
    f.add(rec(hours(3), 0, -1.5L));
    f.save(); // creates the object folder
    EXPECT_EQ(readRaw(name), image({rec(hours(1), 1), rec(hours(3), 0, -1.5L)}));

    f.coords.clear();
    f.save();
    EXPECT_FALSE(QFileInfo::exists(name));
    f.save(); // nothing to delete: no error
}

TEST_F(TrackFileTest, LoadOfMissingFileLeavesRecordsAsTheyAre) {
    TTrackFile fresh;
    fresh.fname = path(QStringLiteral("5/20140316.dat"));
    fresh.load();
    EXPECT_TRUE(fresh.coords.empty());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("5"))).isDir()); // the folder level is created

    TTrackFile held;
    held.fname = fresh.fname;
    held.add(rec(hours(4)));
    held.load();
    EXPECT_EQ(times(held.coords), std::vector<double>{hours(4)});
}

TEST_F(TrackFileTest, WindowedLoad) {
    const QString name = path(QStringLiteral("1/20140315.dat"));
    writeRaw(name, image({rec(hours(10)), rec(hours(11)), rec(hours(12))}));
    struct Case {
        double b, e;
        std::vector<double> kept;
    } cases[] = {
        // The first record at or after the end is kept.
        {hours(10.5), hours(11.5), {hours(11), hours(12)}},
        // Every record before the window: nothing is removed.
        {hours(20), hours(23), {hours(10), hours(11), hours(12)}},
        {hours(0), hours(10), {hours(10)}},
        {hours(11), hours(30), {hours(11), hours(12)}},
        {hours(10), hours(11), {hours(10), hours(11)}},
        // A window that ends before it begins holds nothing.
        {hours(11.5), hours(9), {}},
    };
    for (const Case &c : cases) {
        TTrackFile f;
        f.fname = name;
        f.load(c.b, c.e);
        EXPECT_EQ(times(f.coords), c.kept) << (c.b - Day) * 24 << ".." << (c.e - Day) * 24;
    }
}

TEST_F(TrackFileTest, SortAndUniqueLeaveOneRecordPerTime) {
    TTrackFile f;
    f.fname = path(QStringLiteral("1/x.dat"));
    for (double h : {5.0, 3.0, 4.0, 3.0, 1.0, 3.0, 2.0, 5.0})
        f.add(rec(hours(h)));
    f.sort();
    f.unique();
    EXPECT_EQ(times(f.coords),
              (std::vector<double>{hours(1), hours(2), hours(3), hours(4), hours(5)}));

    // Of equal neighbours the later one stays.
    TTrackView v;
    v.add(rec(hours(1), 1));
    v.add(rec(hours(1), 2));
    v.add(rec(hours(1), 3));
    v.add(rec(hours(2), 4));
    v.unique();
    ASSERT_EQ(v.coords.size(), 2u);
    EXPECT_EQ(v.coords[0].g24, 3);
    EXPECT_EQ(v.coords[1].g24, 4);

    TTrackView part;
    for (double h : {9.0, 8.0, 3.0, 1.0, 2.0, 0.0})
        part.add(rec(hours(h)));
    part.sort_2(1, 4);
    EXPECT_EQ(times(part.coords),
              (std::vector<double>{hours(9), hours(1), hours(2), hours(3), hours(8), hours(0)}));
}

TEST_F(TrackFileTest, RegistryCountsReferencesAndKeepsOrder) {
    TFManager m;
    const QString a = path(QStringLiteral("1/a.dat"));
    TTrackFile *f1 = m.get(a);
    TTrackFile *f2 = m.get(a);
    EXPECT_EQ(f1, f2);
    EXPECT_EQ(f1->referenceCount, 2);
    m.FreeFile(a, false);
    ASSERT_EQ(m.filesSnapshot().size(), 1u);
    EXPECT_EQ(f1->referenceCount, 1);
    m.FreeFile(a, false);
    EXPECT_TRUE(m.filesSnapshot().empty());
    m.FreeFile(a, false); // unknown name: nothing happens

    QStringList names;
    for (const char *n : {"1/a.dat", "1/b.dat", "2/a.dat", "3/a.dat"})
        names << path(QString::fromLatin1(n));
    std::vector<TTrackFile *> opened;
    for (const QString &n : names)
        opened.push_back(m.get(n));
    EXPECT_NE(m.get(names[1].toUpper()), opened[1]); // names are compared exactly
    m.FreeFile(names[1].toUpper(), false);
    m.FreeFile(names[1], false);
    EXPECT_EQ(m.filesSnapshot(), (std::vector<TTrackFile *>{opened[0], opened[2], opened[3]}));
    for (const QString &n : names)
        m.FreeFile(n, false);
    EXPECT_TRUE(m.filesSnapshot().empty());
}

TEST_F(TrackFileTest, FreeFileWithSavingSortsAndWrites) {
    TFManager m;
    const QString name = path(QStringLiteral("1000/20140315.dat"));
    TTrackFile *f = m.get(name);
    f->num = 1000;
    f->load();
    for (double h : {3.0, 1.0, 2.0, 1.0})
        f->add(rec(hours(h)));
    m.FreeFile(name, true);
    EXPECT_EQ(readRaw(name), image({rec(hours(1)), rec(hours(2)), rec(hours(3))}));
    EXPECT_TRUE(m.filesSnapshot().empty());
}

TEST_F(TrackFileTest, FailuresStillGiveTheReferenceBack) {
    // The "object folder" is a plain file, so the day file cannot be written.
    writeRaw(path(QStringLiteral("blocked")), "x");
    const QString name = path(QStringLiteral("blocked/20140315.dat"));
    TFManager m;
    TTrackFile *f = m.get(name);
    f->add(rec(hours(1)));
    EXPECT_THROW(m.FreeFile(name, true), ETrackFileError);
    EXPECT_TRUE(m.filesSnapshot().empty());

    // A day "file" that is a folder cannot be read: the windowed get raises and keeps nothing.
    const QString folder = path(QStringLiteral("2/20140315.dat"));
    QDir().mkpath(folder);
    EXPECT_THROW(m.get(folder, hours(0), hours(24)), ETrackFileError);
    EXPECT_TRUE(m.filesSnapshot().empty());
    EXPECT_THROW(m.form_track(path(QStringLiteral("2/")), hours(0), hours(24)), ETrackFileError);
    EXPECT_TRUE(m.filesSnapshot().empty());
}

TEST_F(TrackFileTest, FormTrackAcrossMidnightReadsTwoDayFiles) {
    const QString folder = path(QStringLiteral("1000/"));
    const TDateTime d1 = Day, d2 = Day + 1, d3 = Day + 2;
    writeRaw(folder + "20140315.dat",
             image({rec(d1 + 21.0 / 24), rec(d1 + 22.0 / 24), rec(d1 + 23.5 / 24)}));
    writeRaw(folder + "20140316.dat",
             image({rec(d2), rec(d2 + 1.0 / 24), rec(d2 + 2.5 / 24), rec(d2 + 3.0 / 24)}));
    // Were the third day read, its first record (at or after the end) would be kept.
    writeRaw(folder + "20140317.dat", image({rec(d3 + 1.0 / 24)}));

    TFManager m;
    const auto view = m.form_track(folder, d1 + 22.0 / 24, d2 + 2.0 / 24);
    EXPECT_EQ(times(view->coords), (std::vector<double>{d1 + 22.0 / 24, d1 + 23.5 / 24, d2,
                                                        d2 + 1.0 / 24, d2 + 2.5 / 24}));
    EXPECT_TRUE(m.filesSnapshot().empty());
}

// An imported day file keeps the name of its data file while its records carry the object's
// shifted time: with zone +3 the first three hours of a day stand in the previous day's file,
// with zone -3 the last three in the next day's. A day's track reads them from there, in time
// order, and takes nothing outside the day from the neighbours.
TEST_F(TrackFileTest, DayTrackTakesTheShiftedRecordsOfTheNeighbouringDayFiles) {
    const TDateTime d = Day + 1, end = d + (86400 - 1) / 86400.0;
    const auto at = [&](double h) { return d + h / 24; };
    struct Case {
        const char *zone;
        std::vector<double> before, day, after, expected;
    };
    const Case cases[] = {
        // +3; the day's own file also holds an on-line record at 01:00.
        {"+3",
         {at(-21), at(-1), at(0.5), at(2.5)},
         {at(1), at(3), at(12), at(23)},
         {at(27), at(40)},
         {at(0.5), at(1), at(2.5), at(3), at(12), at(23)}},
        {"-3",
         {at(-30), at(-4)},
         {at(-3), at(-1), at(0), at(9), at(20.5)},
         {at(21), at(23.5), at(30)},
         {at(0), at(9), at(20.5), at(21), at(23.5)}},
    };
    for (const Case &k : cases) {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/5/");
        const auto write = [&](const char *name, const std::vector<double> &ts) {
            std::vector<TCoordData> v;
            for (double t : ts)
                v.push_back(rec(t));
            writeRaw(folder + QLatin1String(name), image(v));
        };
        write("20140315.dat", k.before);
        write("20140316.dat", k.day);
        write("20140317.dat", k.after);
        TFManager m;
        EXPECT_EQ(times(m.form_track(folder, d, end)->coords), k.expected) << k.zone;
        EXPECT_EQ(times(LoadTrackPeriod(m, folder, d, end)), k.expected) << k.zone;
        EXPECT_TRUE(m.filesSnapshot().empty());
    }
}

// The on-line writer's cycle: get - load - append - FreeFile with saving. Whatever mix of
// appends, late or repeated records, readers and outside writers, the file must hold exactly
// what a plain rewrite of the sorted, unique records would give.
TEST_F(TrackFileTest, IncrementalSavesGiveTheSameFileAsRewrites) {
    TFManager fast, plain;
    plain.setIncremental(false);
    const QString fastName = path(QStringLiteral("fast/20140315.dat"));
    const QString plainName = path(QStringLiteral("plain/20140315.dat"));

    auto packet = [&](std::vector<TCoordData> recs) {
        for (auto [m, name] : {std::pair{&fast, fastName}, std::pair{&plain, plainName}}) {
            TTrackFile *f = m->get(name);
            f->load();
            for (const TCoordData &c : recs)
                f->add(c);
            m->FreeFile(name, true);
        }
        EXPECT_EQ(readRaw(fastName), readRaw(plainName));
    };
    auto inode = [](const QString &name) {
        struct stat st {};
        ::stat(QFile::encodeName(name).constData(), &st);
        return st.st_ino;
    };

    packet({rec(hours(1)), rec(hours(1.001))});
    const auto firstInode = inode(fastName);
    packet({rec(hours(2), 1)});
    packet({rec(hours(3)), rec(hours(3.5))});
    EXPECT_EQ(inode(fastName), firstInode); // appended in place
    packet({rec(hours(3.5), 7)});           // same time as the last record: replaces it
    packet({rec(hours(0.5))});              // older than the file's end
    packet({rec(hours(4)), rec(hours(3.9))});

    // A reader with a window in between, as the track display does.
    for (TFManager *m : {&fast, &plain}) {
        const QString name = m == &fast ? fastName : plainName;
        TTrackFile *f = m->get(name, hours(2), hours(3));
        EXPECT_EQ(times(f->coords), (std::vector<double>{hours(2), hours(3)}));
        m->FreeFile(name, false);
    }
    packet({rec(hours(5))});

    // Another writer replaces the file with the same number of records behind our back.
    std::vector<TCoordData> other;
    for (int i = 0; i < readRaw(fastName).size() / 48; ++i)
        other.push_back(rec(hours(10 + i)));
    writeFileAtomically(fastName, image(other));
    writeFileAtomically(plainName, image(other));
    packet({rec(hours(30))});
    EXPECT_EQ(readRaw(fastName).left(48), image({rec(hours(10))}));

    // A crash in the middle of an append leaves a partial record: it is dropped on the next save.
    QFile cut(fastName);
    ASSERT_TRUE(cut.open(QIODevice::Append));
    cut.write(QByteArray(20, '\x01'));
    cut.close();
    QFile cut2(plainName);
    ASSERT_TRUE(cut2.open(QIODevice::Append));
    cut2.write(QByteArray(20, '\x01'));
    cut2.close();
    packet({rec(hours(31))});
    EXPECT_EQ(readRaw(fastName).size() % 48, 0);

    // An import takes the day without loading it: its records replace the file's content.
    for (auto [m, name] : {std::pair{&fast, fastName}, std::pair{&plain, plainName}}) {
        TTrackFile *f = m->get(name);
        f->add(rec(hours(20)));
        f->add(rec(hours(19)));
        m->FreeFile(name, true);
    }
    EXPECT_EQ(readRaw(fastName), image({rec(hours(19)), rec(hours(20))}));
    EXPECT_EQ(readRaw(fastName), readRaw(plainName));
    packet({rec(hours(21))});

    // Giving the track up entirely deletes the file in both modes.
    for (auto [m, name] : {std::pair{&fast, fastName}, std::pair{&plain, plainName}}) {
        TTrackFile *f = m->get(name);
        f->load();
        f->coords.clear();
        m->FreeFile(name, true);
        EXPECT_FALSE(QFileInfo::exists(name));
    }
    packet({rec(hours(6))});
    EXPECT_EQ(readRaw(fastName), image({rec(hours(6))}));
}

// A save that fails half way (here: the file size limit, as with a full disk) raises and leaves
// the day file exactly as it was, whether the new records were to be appended or the whole file
// rewritten.
TEST_F(TrackFileTest, FailedSaveNeverDamagesTheDayFile) {
    for (bool incremental : {true, false}) {
        SCOPED_TRACE(incremental ? "append" : "rewrite");
        const QString name =
            path(incremental ? QStringLiteral("a/20140315.dat") : QStringLiteral("r/20140315.dat"));
        TFManager m;
        m.setIncremental(incremental);
        TTrackFile *f = m.get(name);
        for (int i = 0; i < 20; ++i)
            f->add(rec(hours(i * 0.1)));
        m.FreeFile(name, true);
        const QByteArray before = readRaw(name);
        ASSERT_EQ(before.size(), 20 * 48);

        f = m.get(name);
        f->load();
        f->add(rec(hours(5)));
        f->add(rec(hours(6)));
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = static_cast<rlim_t>(before.size() + 20);
        auto *oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        EXPECT_THROW(m.FreeFile(name, true), ETrackFileError);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_EQ(readRaw(name), before);
        EXPECT_TRUE(m.filesSnapshot().empty());
        // The next packet writes everything once the disk has room again.
        f = m.get(name);
        f->load();
        f->add(rec(hours(7)));
        m.FreeFile(name, true);
        EXPECT_EQ(readRaw(name).size(), 21 * 48);
        EXPECT_EQ(readRaw(name).left(before.size()), before);
    }
}
