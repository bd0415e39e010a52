#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/IniFile.h"
#include "tracks/TrackAppender.h"

namespace {

constexpr TDateTime Day = 41713; // 2014-03-15

TCoordData rec(double minutes) {
    TCoordData c;
    c.lat = 3345.1234L + minutes;
    c.lng = 2256.789L;
    c.ts = Day + minutes / 1440;
    return c;
}

std::vector<double> minutesIn(const QString &file) {
    TFManager r;
    TTrackFile *f = r.get(file);
    f->load();
    std::vector<double> out;
    for (const TCoordData &c : f->coords)
        out.push_back(std::round((c.ts - Day) * 1440 * 1000) / 1000);
    r.FreeFile(file, false);
    return out;
}

class TrackAppenderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.path() + "/1000/20140315.dat";
    TFManager registry;
    TTrackAppender appender{registry};

    using TWay = TTrackAppender::TWay;
    void add(std::vector<double> minutes, TWay way, bool durable = true) {
        std::vector<TCoordData> v;
        for (double m : minutes)
            v.push_back(rec(m));
        appender.append(file, v, durable);
        EXPECT_EQ(appender.lastWay(), way);
    }
};

} // namespace

// Later positions go to the end of the file; anything that would break the order, or a time
// the file has already, goes through the registry's sorting rewrite; the file ends up as the
// plain writer would leave it.
TEST_F(TrackAppenderTest, AppendsInOrderAndRewritesWhatWouldBreakIt) {
    add({1, 2}, TWay::Appended); // a new file in a new folder
    add({3}, TWay::Appended);
    add({}, TWay::Nothing);
    add({2.5}, TWay::Rewritten);  // older than the last record
    add({4}, TWay::Appended);     // the rewrite left the file in order: appends go on
    add({4}, TWay::Rewritten);    // the same time: the later twin stays
    add({6, 5}, TWay::Rewritten); // not in order among themselves
    add({7}, TWay::Appended, false);
    appender.sync();
    EXPECT_EQ(minutesIn(file), (std::vector<double>{1, 2, 2.5, 3, 4, 5, 6, 7}));
    EXPECT_EQ(QFile(file).size(), 8 * TCoordData::RecordSize);
}

// Files this appender did not write last: changed behind its back, torn, out of order, or held
// open by a reader of the registry.
TEST_F(TrackAppenderTest, FilesChangedElsewhereAreLookedAtAgain) {
    add({1, 2}, TWay::Appended);
    // Another writer replaces the day with records up to minute 10.
    std::vector<TCoordData> other{rec(5), rec(10)};
    QByteArray bytes;
    for (const TCoordData &c : other) {
        unsigned char r[TCoordData::RecordSize];
        c.toBytes(r);
        bytes.append(reinterpret_cast<const char *>(r), sizeof r);
    }
    writeFileAtomically(file, bytes);
    add({8}, TWay::Rewritten); // the new last record is minute 10, not 2
    add({11}, TWay::Appended);
    EXPECT_EQ(minutesIn(file), (std::vector<double>{5, 8, 10, 11}));

    // A torn record at the end (a writer killed mid-write) is dropped by the rewrite.
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("torn");
    }
    add({12}, TWay::Rewritten);
    EXPECT_EQ(QFile(file).size(), 5 * TCoordData::RecordSize);

    // An unsorted file found on disk is sorted before anything is appended to it.
    writeFileAtomically(file,
                        bytes.mid(TCoordData::RecordSize) + bytes.left(TCoordData::RecordSize));
    TTrackAppender fresh(registry);
    fresh.append(file, {rec(20)});
    EXPECT_EQ(fresh.lastWay(), TWay::Rewritten);
    EXPECT_EQ(minutesIn(file), (std::vector<double>{5, 10, 20}));

    // A file somebody holds in the registry shares its records with him: the registry's way.
    TTrackFile *held = registry.get(file);
    held->load();
    add({21}, TWay::Rewritten);
    EXPECT_EQ(held->coords.size(), 4);
    registry.FreeFile(file, false);
    add({22}, TWay::Appended);
    EXPECT_EQ(minutesIn(file), (std::vector<double>{5, 10, 20, 21, 22}));
}
