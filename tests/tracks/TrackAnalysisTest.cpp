#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>
#include <stdexcept>

#include "tracks/FileManager.h"
#include "tracks/TrackAnalysis.h"
#include "tracks/TrackPartsModel.h"

namespace {

constexpr TDateTime T0 = 45426.0 + 8.0 / 24; // 14.05.2024 08:00

// A point the given ground distance north of `from` along its meridian (the latitude found by
// bisection, so distances are exact to well below a millimetre).
TCoordData northOf(const TCoordData &from, long double metres, double seconds) {
    long double lo = from.lat, hi = from.lat + metres / 1000;
    for (int i = 0; i < 200; ++i) {
        const long double mid = (lo + hi) / 2;
        (GeoDistance({from.lat, from.lng}, {mid, from.lng}) < metres ? lo : hi) = mid;
    }
    return TCoordData{hi, from.lng, from.ts + seconds / 86400, 0};
}

// A track built from steps of (seconds after the previous point, metres north of it).
struct TTrackBuilder {
    std::vector<TCoordData> c{TCoordData{3345.0L, 2256.0L, T0, 0}};
    TTrackBuilder &step(double seconds, double metres, int times = 1) {
        for (int i = 0; i < times; ++i)
            c.push_back(northOf(c.back(), metres, seconds));
        return *this;
    }
    // 10 s pairs of 100 m (36 km/h) or of nothing.
    TTrackBuilder &moving(int pairs) { return step(10, 100, pairs); }
    TTrackBuilder &standing(int pairs) { return step(10, 0, pairs); }
};

TTrackSettings settings(int restMinTime = 1) {
    return TTrackSettings{10, 300, restMinTime};
}

} // namespace

TEST(TrackDivision, RunsShorterThanSixSamplesNeverChangeTheMode) {
    // 5 moving, 20 standing, 5 moving pairs: one stop part over the whole track.
    const auto t = TTrackBuilder().moving(5).standing(20).moving(5).c;
    EXPECT_EQ(SeparateTrackC(t, 10), (ArrayTracks{{false, 0, 30}}));
    // Never settled at all: one movement part.
    const auto u = TTrackBuilder().moving(5).standing(5).moving(5).c;
    EXPECT_EQ(SeparateTrackC(u, 10), (ArrayTracks{{true, 0, 15}}));
    // One point has no samples.
    EXPECT_EQ(SeparateTrackC(TTrackBuilder().c, 10), (ArrayTracks{{true, 0, 0}}));
}

TEST(TrackDivision, ThirteenPointsOneMinuteApart) {
    const auto t = TTrackBuilder().step(60, 500, 6).step(60, 0, 6).c;
    ASSERT_EQ(t.size(), 13u);
    TTrackAnalysis a(t, settings(1));
    EXPECT_EQ(a.divide(false), (ArrayTracks{{true, 0, 6}, {false, 7, 12}}));
}

TEST(TrackDivision, EngineSignalDividesBySamplesOfPoints) {
    auto t = TTrackBuilder().standing(19).c; // 20 points
    for (size_t i = 0; i < t.size(); ++i)
        t[i].g24 = i >= 6 && i < 14 ? 1 : 0;
    // Points 6..13 with the engine on: six of them settle the movement at point 11.
    EXPECT_EQ(SeparateTrackE(t), (ArrayTracks{{false, 0, 5}, {true, 6, 13}, {false, 14, 19}}));
}

TEST(TrackFolding, ShortStopsAreFoldedIntoTheMovement) {
    struct Case {
        const char *name;
        std::vector<TCoordData> track;
        ArrayTracks expected;
    };
    // A stop of 7 standing samples between two movements lasts from point 8 to point 14.
    const auto between = [](double lastInterval) {
        return TTrackBuilder().moving(7).standing(6).step(lastInterval, 0).moving(7).c;
    };
    const Case cases[] = {
        {"a stop of 59 s disappears", between(9), {{true, 0, 21}}},
        {"a stop of 60 s stays", between(10), {{true, 0, 7}, {false, 8, 14}, {true, 15, 21}}},
        {"a short leading stop is absorbed",
         TTrackBuilder().step(8, 0, 7).moving(7).c,
         {{true, 0, 14}}},
        {"a short last stop is absorbed",
         TTrackBuilder().moving(7).step(8, 0, 7).c,
         {{true, 0, 14}}},
        {"the only part stays", TTrackBuilder().step(5, 0, 8).c, {{false, 0, 8}}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        TTrackAnalysis a(k.track, settings(1));
        EXPECT_EQ(a.divide(false), k.expected);
    }
}

TEST(TrackDistance, PairsAtOrAboveMaxSpeedAddNothing) {
    // A pair whose speed is exactly 100 km/h (bisected to the first point reaching it).
    TCoordData a{3345.0L, 2256.0L, T0, 0};
    long double lo = 900, hi = 1100;
    for (int i = 0; i < 200; ++i) {
        const long double mid = (lo + hi) / 2;
        (CoordSpeed(a, northOf(a, mid, 36)) < 100 ? lo : hi) = mid;
    }
    const std::vector<TCoordData> t{a, northOf(a, hi, 36)};
    ASSERT_GE(double(CoordSpeed(t[0], t[1])), 100.0);
    const TTrackPart part{true, 0, 1};
    for (const auto &[maxSpeed, km] : {std::pair{100, 0.0}, std::pair{101, double(hi) / 1000}}) {
        TTrackAnalysis an(t, TTrackSettings{10, maxSpeed, 1});
        EXPECT_NEAR(double(an.run(part)), km, 1e-9) << "MaxSpeed " << maxSpeed;
    }
}

TEST(TrackTable, PartsTotalsAndCells) {
    const auto t = TTrackBuilder().step(60, 500, 6).step(60, 0, 6).c;
    TTrackAnalysis a(t, settings(1));
    TTrackPartsModel model;
    EXPECT_EQ(model.rowTexts(0), (QStringList{"Весь", "-", "-", "-", "-", "-"}));
    model.fill(a, a.divide(false));
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), "Ср. скорость");
    EXPECT_EQ(model.rowTexts(0), (QStringList{"Весь", "14.05.24 08:00:00", "14.05.24 08:12:00",
                                              "0:12:00", "3,00 км.", "30,00 км/ч."}));
    EXPECT_EQ(model.rowTexts(1), (QStringList{"движение", "14.05.24 08:00:00", "14.05.24 08:06:00",
                                              "0:06:00", "3,00 км.", "30,00 км/ч."}));
    EXPECT_EQ(model.rowTexts(2), (QStringList{"стоянка", "14.05.24 08:07:00", "14.05.24 08:12:00",
                                              "0:05:00", "-", "-"}));
    EXPECT_TRUE(model.toTabSeparated().startsWith("Состояние\tНачало\tОкончание\t"));
    model.clearAll();
    EXPECT_EQ(model.rowTexts(0), (QStringList{"-", "-", "-", "-", "-", "-"}));
}

TEST(TrackTable, ZeroSecondsOnePointAndNoMovementShowZero) {
    struct Case {
        const char *name;
        std::vector<TCoordData> track;
        QString speed;
    };
    const Case cases[] = {
        // Every pair 0 s apart: infinite speeds count as moving and add no distance.
        {"zero seconds", TTrackBuilder().step(0, 50, 8).c, "0,00 км/ч."},
        {"one point", TTrackBuilder().c, "0,00 км/ч."},
        {"no movement", TTrackBuilder().standing(10).c, "0,00 км/ч."},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        TTrackAnalysis a(k.track, settings(0));
        TTrackPartsModel model;
        ASSERT_NO_THROW(model.fill(a, a.divide(false)));
        EXPECT_EQ(model.rowTexts(0).value(4), "0,00 км.");
        EXPECT_EQ(model.rowTexts(0).value(5), k.speed);
        for (int r = 1; r < model.rowCount(); ++r)
            EXPECT_FALSE(model.rowTexts(r).join("").contains("nan")) << r;
    }
}

TEST(TrackReports, RunOfAPeriodFromTheDayFiles) {
    QTemporaryDir dir;
    const QString folder = dir.path() + "/7/";
    // Two days: 22:00-23:59 of one and 00:00-02:00 of the next, 3 km each way.
    TFManager fm;
    const TDateTime day1 = 45426, day2 = 45427;
    for (const auto &[day, from] : {std::pair{day1, 22.0}, std::pair{day2, 0.0}}) {
        const QString name = folder + dt::formatDateTime("yyyymmdd", day) + ".dat";
        TTrackFile *f = fm.get(name);
        TTrackBuilder b;
        b.c[0].ts = day + from / 24;
        b.step(60, 500, 6).step(60, 0, 10);
        for (const TCoordData &c : b.c)
            f->add(c);
        fm.FreeFile(name, true);
    }
    const auto t = LoadTrackPeriod(fm, folder, day1 + 22.0 / 24, day2 + 2.0 / 24);
    EXPECT_EQ(t.size(), 34u);
    // The night between is one stop; the second movement part begins where its first moving
    // pair ends, so that pair's 500 m are not part of it.
    EXPECT_NEAR(double(TrackRunKm(t, settings(1))), 5.5, 1e-6);
}

TEST(DurationTexts, Formatters) {
    EXPECT_EQ(SecondsTo_hhh_mm_ss(90061), "25:01:01");
    EXPECT_EQ(SecondsTo_hhh_mm_ss(59), "0:00:59");
    EXPECT_EQ(DHMStoHMS("1-2-3-4"), "26:03:04");
    EXPECT_EQ(DHMStoHMS("0-5-7-9"), "05:07:09");
    for (const auto &[text, rest] : {std::pair{"x-1-2-3", "(x-1-2-3)"}, std::pair{"1-2", "(2)"}}) {
        try {
            DHMStoHMS(text);
            ADD_FAILURE() << text << " was accepted";
        } catch (const std::runtime_error &e) {
            const QString m = QString::fromUtf8(e.what());
            EXPECT_TRUE(m.startsWith("Mistake of transformation of format DHMS in HMS "));
            EXPECT_TRUE(m.endsWith(rest)) << m.toStdString();
        }
    }
}
