#include <gtest/gtest.h>

#include "online/ControllableObject.h"

namespace {

QByteArray bytes(std::initializer_list<int> v) {
    QByteArray b;
    for (int x : v)
        b.append(static_cast<char>(x));
    return b;
}

// A state object whose fields all hold a marker, to see which ones a decoding touches.
TControllableObject marked() {
    TControllableObject o;
    o.AlertBtn = o.Version = o.KungTrailer = o.ExOut1 = o.ExOut2 = o.V24Gen = 7;
    o.TankCoverSensor = 7;
    o.FuelLevel = 777;
    o.BoardVoltage = 777;
    o.Temperature = 77.5;
    return o;
}

struct Decoded {
    int AlertBtn, Version, KungTrailer, ExOut2, V24Gen, ExOut1, TankCoverSensor, FuelLevel,
        BoardVoltage;
    double Temperature;
};

void expectState(const TControllableObject &o, const Decoded &e, const char *what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(o.AlertBtn, e.AlertBtn);
    EXPECT_EQ(o.Version, e.Version);
    EXPECT_EQ(o.KungTrailer, e.KungTrailer);
    EXPECT_EQ(o.ExOut2, e.ExOut2);
    EXPECT_EQ(o.V24Gen, e.V24Gen);
    EXPECT_EQ(o.ExOut1, e.ExOut1);
    EXPECT_EQ(o.TankCoverSensor, e.TankCoverSensor);
    EXPECT_EQ(o.FuelLevel, e.FuelLevel);
    EXPECT_EQ(o.BoardVoltage, e.BoardVoltage);
    EXPECT_NEAR(o.Temperature, e.Temperature, 1e-9);
}

} // namespace

TEST(ControllableObject, CreateAndLabel) {
    TControllableObject o;
    EXPECT_FALSE(o.Connected);
    EXPECT_FALSE(o.HadOnlineData);
    EXPECT_EQ(o.Speed, -1);
    EXPECT_TRUE(o.track.coords.empty());
    o.Number = 1042;
    EXPECT_EQ(o.GetLabel(), QStringLiteral("1042"));
    o.ShortName = QStringLiteral("ТЭМ-7");
    EXPECT_EQ(o.GetLabel(), QStringLiteral("ТЭМ-7"));
}

TEST(DecodeSostString, Examples) {
    struct Case {
        const char *what;
        QByteArray s;
        Decoded e;
    } cases[] = {
        {"short, version 1: reference 5000 mV, divider 24k/4.7k",
         bytes({0, 0x09, 0, 0, 0x3D, 0xFE, 0x34, 0x01, 0x00}),
         {1, 1, 1, 1, 1, 1, 1, 2 * 256 + 0x34, 7633, 77.5}},
        {"short, version 0: only the button and the version",
         bytes({0, 0x01, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
         {1, 0, 7, 7, 7, 7, 7, 0, 777, 77.5}},
        {"short, version 2: reference 3300 mV, divider 15k/3.3k",
         bytes({0, 0x20, 0, 0, 0x00, 0x00, 0x10, 0x03, 0xFF}),
         {0, 2, 0, 0, 0, 0, 0, 16, 18278, 77.5}},
        {"short, version 3: linear voltage and temperature",
         bytes({0, 0x28, 0, 0, 0x04, 0x00, 0x00, 0x03, 0xE9, 0x01, 0x00}),
         {0, 3, 0, 1, 0, 0, 0, 0, 21638, 256 * 0.2988 - 46.44}},
        {"short, bit 5 of byte 11 adds 4 to the version",
         bytes({0, 0x08, 0, 0, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x2E, 0x20}),
         {0, 5, 0, 0, 0, 0, 0, 0, 1278, 46 * 0.2988 - 46.44}},
        {"short, version 3 without the temperature bytes keeps the temperature",
         bytes({0, 0x28, 0, 0, 0x00, 0x00, 0x00, 0x03, 0xE9}),
         {0, 3, 0, 0, 0, 0, 0, 0, 21638, 77.5}},
        {"short, four bytes: too short for the signals",
         bytes({0, 0x09, 0, 0}),
         {1, 1, 7, 7, 7, 7, 7, 0, 777, 77.5}},
        {"long form",
         bytes({0x33, 0, 0, 0x0D, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x08, 0x00}),
         {0, 3, 1, 0, 1, 0, 1, 4095, 22106, 77.5}},
        {"three bytes: the fuel reading is cleared, nothing else",
         bytes({0xFF, 0xFF, 0xFF}),
         {7, 7, 7, 7, 7, 7, 7, 0, 777, 77.5}},
    };
    for (const Case &c : cases) {
        TControllableObject o = marked();
        o.DecodeSostString(c.s);
        expectState(o, c.e, c.what);
    }
}

TEST(DecodeSostString, RoundingIsHalfToEven) {
    EXPECT_EQ(roundHalfEven(2.5L), 2);
    EXPECT_EQ(roundHalfEven(3.5L), 4);
    EXPECT_EQ(roundHalfEven(-2.5L), -2);
    EXPECT_EQ(roundHalfEven(2.5000001L), 3);
    EXPECT_EQ(roundHalfEven(-3.4L), -3);
}
