// The simulator's devices must speak the packet format the client decodes; the decoder here
// is written from the format, independently of the encoder.
#include "monitor-sim/ObjectSim.h"
#include "monitor-sim/PacketEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

struct TDecoded {
    bool checksumOk = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    std::optional<TPacketEncoder::TPoint> position;
    std::vector<TPacketEncoder::TPoint> further;
    TBytes state;
};

int u(const TBytes &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

double coordinate(const TBytes &p, qsizetype at) {
    return (u(p, at) - 27) * 60 + (u(p, at + 1) - 48) +
           (u(p, at + 2) * 100 + u(p, at + 3) - 2727) / 10000.0;
}

TDecoded decode(const TBytes &p) {
    TDecoded d;
    const int e = p.endsWith('\n') ? 1 : 0;
    uint8_t x = 0;
    for (qsizetype i = 0; i < p.size() - 2 - e; ++i)
        x ^= static_cast<uint8_t>(p[i]);
    x &= 0x1F;
    d.checksumOk = u(p, p.size() - 2 - e) == ((x ? x : 1) | 0x40);
    d.hour = u(p, 1) - 48;
    d.minute = u(p, 2) - 48;
    d.second = u(p, 3) - 48;
    d.day = u(p, 4) - 48;
    d.month = u(p, 5) - 48;
    d.year = u(p, 6) - 27 + 2000;
    qsizetype i = 7;
    if (u(p, i) == 0xCF) {
        ++i;
    } else {
        d.position = TPacketEncoder::TPoint{coordinate(p, i), coordinate(p, i + 4)};
        i += 8;
    }
    if (u(p, i) == 0xCF) {
        ++i;
    } else {
        const double divisor = p[i] == '3' ? 500 : 5000;
        const int k = u(p, i + 1) - 27;
        TPacketEncoder::TPoint at = d.position.value_or(TPacketEncoder::TPoint{0, 0});
        for (int j = 0; j < k; ++j) {
            at.lat += (u(p, i + 2 + 2 * j) - 78) / divisor;
            at.lon += (u(p, i + 3 + 2 * j) - 78) / divisor;
            d.further.push_back(at);
        }
        i += 2 + 2 * k;
    }
    // After the separator, all but the packet's last byte.
    d.state = p.mid(i + 1, p.size() - (i + 1) - 1);
    return d;
}

int bit(const TBytes &s, int i, int b) {
    return (u(s, i) >> b) & 1;
}
int v12(const TBytes &s, int i) {
    return (u(s, i) & 0x1F) * 128 + (u(s, i + 1) & 0x7F);
}

} // namespace

TEST(SimPackets, PositionBytesAndChecksumRule) {
    const TBytes block = TPacketEncoder::positionBlock({3345.1234, 2257.0});
    ASSERT_EQ(block.size(), 8);
    EXPECT_EQ(block.left(4), TBytes("\x52\x5D\x27\x3D")); // 82, 93, 39, 61
    EXPECT_NEAR(coordinate(block, 4), 2257.0, 1e-9);
    // A fraction that rounds up to a whole minute carries into the minutes.
    EXPECT_NEAR(coordinate(TPacketEncoder::positionBlock({3345.99996, 0}), 0), 3346.0, 1e-9);

    // Without a position: both blocks are the single byte 0xCF, even with points at hand.
    const TBytes lost =
        TPacketEncoder::onlinePacket(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)), std::nullopt,
                                     {{3345.0, 2257.0}}, TBytes(11, 0x40), false);
    EXPECT_EQ(lost.mid(7, 3), TBytes("\xCF\xCF;"));
    EXPECT_TRUE(decode(lost).checksumOk);
    EXPECT_FALSE(decode(lost).position);

    EXPECT_EQ(TPacketEncoder::checksum(TBytes("\x20")), 0x41);
    EXPECT_EQ(TPacketEncoder::checksum(TBytes("\x08\x0B")), 0x43);
}

TEST(SimPackets, TrackBlockScalesAndDoesNotDrift) {
    const TPacketEncoder::TPoint start{3345.0, 2257.0};
    const struct {
        double dLat, dLon;
        char marker;
    } cases[] = {{0.0011, -0.0013, '5'}, {0.02, 0.04, '3'}, {-0.05, 0.011, '3'}};
    for (const auto &c : cases) {
        std::vector<TPacketEncoder::TPoint> pts;
        for (int j = 1; j <= 20; ++j)
            pts.push_back({start.lat + c.dLat * j, start.lon + c.dLon * j});
        const TBytes block = TPacketEncoder::trackBlock(start, pts);
        EXPECT_EQ(block[0], c.marker);
        EXPECT_EQ(u(block, 1), 20 + 27);
        const TBytes packet = TPacketEncoder::onlinePacket(
            QDateTime(QDate(2026, 12, 10), QTime(9, 5, 7)), start, pts, TBytes(11, 0x40), true);
        const TDecoded d = decode(packet);
        ASSERT_EQ(d.further.size(), 20u);
        const double unit = c.marker == '3' ? 0.002 : 0.0002;
        for (size_t j = 0; j < 20; ++j) {
            EXPECT_NEAR(d.further[j].lat, pts[j].lat, unit / 2 + 1e-9) << j;
            EXPECT_NEAR(d.further[j].lon, pts[j].lon, unit / 2 + 1e-9) << j;
        }
    }
}

TEST(SimPackets, PacketsOfEveryStateFormDecode) {
    TObjectState s;
    s.lat = 3345.5;
    s.lon = 2257.25;
    s.alertBtn = 1;
    s.exOut1 = 1;
    s.v24Gen = 1;
    s.tankCoverSensor = 0;
    s.kungTrailer = 1;
    s.exOut2 = 0;
    s.fuelRaw = 700;
    s.boardVoltageMv = 27800;
    s.temperature = 21.5;
    const QDateTime when(QDate(2026, 12, 10), QTime(23, 59, 58));
    for (const char *form : {"short1", "short2", "short3", "long"}) {
        for (bool lf : {true, false}) {
            SCOPED_TRACE(testing::Message() << form << (lf ? " with LF" : " without LF"));
            // Versions 2 and 3 measure up to about 18 and 22 V: a 12 V supply.
            const bool twelveVolt = QByteArray(form) == "short2" || QByteArray(form) == "short3";
            s.boardVoltageMv = twelveVolt ? 13800 : 27800;
            const TBytes packet =
                TPacketEncoder::onlinePacket(when, TPacketEncoder::TPoint{s.lat, s.lon}, {},
                                             TPacketEncoder::stateFor(s, form), lf);
            ASSERT_EQ(u(packet, 0), 0x08);
            const TDecoded d = decode(packet);
            EXPECT_TRUE(d.checksumOk);
            EXPECT_EQ(d.hour, 23);
            EXPECT_EQ(d.second, 58);
            EXPECT_EQ(d.day, 10);
            EXPECT_EQ(d.month, 12);
            EXPECT_EQ(d.year, 2026);
            ASSERT_TRUE(d.position);
            EXPECT_NEAR(d.position->lat, s.lat, 1e-9);
            EXPECT_NEAR(d.position->lon, s.lon, 1e-9);
            const TBytes &S = d.state;
            if (QByteArray(form) == "long") {
                ASSERT_GE(S.size(), 20);
                EXPECT_EQ(u(S, 0) & 0x0F, 4);
                EXPECT_EQ(bit(S, 3, 0), 1); // warning mode
                EXPECT_EQ(bit(S, 3, 2), 1); // 65 V breaker signal
                EXPECT_EQ(bit(S, 3, 3), 0);
                EXPECT_EQ(v12(S, 16), 700);
                EXPECT_NEAR((v12(S, 18) * 0.02036 + 1.2575) * 1000, 27800, 11);
                continue;
            }
            ASSERT_GE(S.size(), 12);
            ASSERT_LT(S.size(), 20);
            const int version = bit(S, 1, 3) + 2 * bit(S, 1, 5) + 4 * bit(S, 11, 5);
            EXPECT_EQ(version, form[5] - '0');
            EXPECT_EQ(bit(S, 1, 0), 1);
            EXPECT_EQ(bit(S, 4, 0), 1);
            EXPECT_EQ(bit(S, 4, 2), 0);
            EXPECT_EQ(bit(S, 4, 3), 1);
            EXPECT_EQ(bit(S, 4, 4), 1);
            EXPECT_EQ(bit(S, 4, 5), 0);
            EXPECT_EQ((u(S, 5) & 3) * 256 + u(S, 6), 700);
            int raw = (u(S, 7) & 3) * 256 + u(S, 8);
            double mv;
            if (version >= 3) {
                mv = std::nearbyint((raw * 0.02036 + 1.2575) * 1000);
                const int t = (u(S, 9) & 3) * 256 + u(S, 10);
                EXPECT_NEAR(t * 0.2988 - 46.44, 21.5, 0.15);
            } else {
                const int ref = version >= 2 ? 3300 : 5000;
                const double r1 = version >= 2 ? 15000 : 24000, r2 = version >= 2 ? 3300 : 4700;
                raw = raw * ref / 1024;
                mv = std::nearbyint((r1 + r2) / r2 * raw);
            }
            EXPECT_NEAR(mv, s.boardVoltageMv, 40);
        }
    }
}

#include "SimProcess.h"

TEST(SimProcessLife, StopsOnSigtermAndAtTheEndOfItsInput) {
    {
        TSimProcess sim({});
        ASSERT_TRUE(sim.ok());
        sim.process().terminate();
        ASSERT_TRUE(sim.process().waitForFinished(3000));
        EXPECT_EQ(sim.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.process().exitCode(), 0);
    }
    {
        TSimProcess sim({"--stdin-eof"});
        ASSERT_TRUE(sim.ok());
        sim.process().closeWriteChannel();
        ASSERT_TRUE(sim.process().waitForFinished(3000));
        EXPECT_EQ(sim.process().exitCode(), 0);
        EXPECT_EQ(sim.count("end of standard input"), 1);
    }
    {
        QProcess p;
        p.start(QStringLiteral(ZARNEX_TOOLS_DIR "/zarnex-monitor-sim"), {"--port", "0", "--bogus"});
        ASSERT_TRUE(p.waitForFinished(3000));
        EXPECT_EQ(p.exitCode(), 2);
    }
}
