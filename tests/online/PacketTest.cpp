#include "app/Logging.h"
#include "online/OnlineData.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {
// A packet of the device: time, position block, track block, separator, state string,
// checksum, end byte (and an LF when asked).
QByteArray packet(const QByteArray &position, const QByteArray &track, const QByteArray &state,
                  bool lf = false, int day = 10) {
    QByteArray p;
    p.append(char(0x08));
    p.append(char(14 + 48)).append(char(30 + 48)).append(char(5 + 48));   // 14:30:05
    p.append(char(day + 48)).append(char(12 + 48)).append(char(26 + 27)); // 10.12.2026
    p.append(position).append(track).append('|').append(state);
    p.append(char(PacketChecksum(p, p.size())));
    p.append('#');
    if (lf)
        p.append('\n');
    return p;
}

const QByteArray kPos("\x52\x5D\x27\x3D\x40\x54\x27\x3D", 8); // 55 45 12 34 / 37 36 12 34
const QByteArray kNone("\xCF", 1);

struct LogCapture {
    QTemporaryDir dir;
    std::shared_ptr<TOperationsLog> log;
    LogCapture() : log(std::make_shared<TOperationsLog>(dir.path() + "/log.txt")) {
        InstallOperationsLog(log);
    }
    ~LogCapture() { InstallOperationsLog(nullptr); }
    QStringList lines() { return log->takeQueued(); }
};
} // namespace

TEST(OnlinePacket, ChecksumRule) {
    // XOR 0 in the low bits becomes 1: the byte is 0x41, "A".
    EXPECT_EQ(PacketChecksum(QByteArray("\x20\x40", 2), 2), 0x41);
    EXPECT_EQ(PacketChecksum(QByteArray("\x01\x02", 2), 2), 0x43);
    EXPECT_EQ(PacketChecksum(QByteArray("\x1F", 1), 1), 0x5F);
}

TEST(OnlinePacket, SizeChecksumAndLineEnd) {
    LogCapture cap;
    TDecodedPacket d;
    EXPECT_EQ(DecodeOnlinePacket(5, QByteArray(9, '\x08'), d), TPacketResult::Ignored);
    EXPECT_TRUE(cap.lines().isEmpty());

    // Ten bytes are checked: a wrong checksum is logged with both values.
    QByteArray ten("\x08\x3E\x4E\x35\x3A\x3C\x35\xCF\x00\x00", 10);
    EXPECT_EQ(DecodeOnlinePacket(5, ten, d), TPacketResult::BadChecksum);
    QStringList l = cap.lines();
    ASSERT_EQ(l.size(), 2);
    EXPECT_TRUE(
        l[0].endsWith("(20) ClientDataIn:: Получен пакет 5: [10] 08 3E 4E 35 3A 3C 35 CF 00 00"))
        << l[0].toStdString();
    const QString want = QString::number(PacketChecksum(ten, 8), 16).toUpper();
    EXPECT_TRUE(l[1].endsWith("ClientDataIn:: Неверный пакет 5: " + want + "!=00"))
        << l[1].toStdString();

    // A good packet, with and without the LF after it.
    for (bool lf : {false, true}) {
        const QByteArray p = packet(kPos, kNone, QByteArray("\x00\x09\x00\x00", 4), lf);
        ASSERT_EQ(DecodeOnlinePacket(5, p, d), TPacketResult::Decoded) << lf;
        EXPECT_TRUE(cap.lines().isEmpty());
        EXPECT_TRUE(d.timeValid);
        EXPECT_DOUBLE_EQ(d.time, dt::encode(2026, 12, 10, 14, 30, 5));
        // The state string runs to the last byte: it holds the checksum (and the end byte).
        EXPECT_EQ(d.sost.size(), lf ? 6 : 5);
    }
}

TEST(OnlinePacket, PositionAndTrackBlocks) {
    LogCapture cap;
    TDecodedPacket d;
    ASSERT_EQ(DecodeOnlinePacket(7, packet(kPos, QByteArray("3\x1D\x4F\x4D\x4E\x4E", 6), "ab"), d),
              TPacketResult::Decoded);
    ASSERT_EQ(d.coords.size(), 3u);
    EXPECT_NEAR(double(d.coords[0].Coords.Latitude), 3345.1234, 1e-9);
    EXPECT_NEAR(double(d.coords[0].Coords.Longitude), 2256.1234, 1e-9);
    EXPECT_NEAR(double(d.coords[1].Coords.Latitude - d.coords[0].Coords.Latitude), 0.002, 1e-12);
    EXPECT_NEAR(double(d.coords[1].Coords.Longitude - d.coords[0].Coords.Longitude), -0.002, 1e-12);
    EXPECT_EQ(d.coords[2].Coords.Latitude, d.coords[1].Coords.Latitude);
    EXPECT_EQ(d.coords[2].Coords.Longitude, d.coords[1].Coords.Longitude);
    EXPECT_NEAR((d.coords[1].ts - d.coords[0].ts) * 86400, 2, 1e-6);
    EXPECT_NEAR((d.coords[2].ts - d.coords[0].ts) * 86400, 4, 1e-6);

    // Another scale marker: steps of 0.0002 minutes.
    ASSERT_EQ(DecodeOnlinePacket(7, packet(kPos, QByteArray("1\x1C\x4F\x4F", 4), "ab"), d),
              TPacketResult::Decoded);
    ASSERT_EQ(d.coords.size(), 2u);
    EXPECT_NEAR(double(d.coords[1].Coords.Latitude - d.coords[0].Coords.Latitude), 0.0002, 1e-12);

    // No position but further points: nothing to step from, so no positions at all.
    ASSERT_EQ(DecodeOnlinePacket(7, packet(kNone, QByteArray("3\x1C\x4F\x4F", 4), "ab"), d),
              TPacketResult::Decoded);
    EXPECT_TRUE(d.coords.empty());
    // A track block claiming more points than it carries keeps the packet position.
    ASSERT_EQ(DecodeOnlinePacket(7, packet(kPos, QByteArray("3\x30\x4F", 3), ""), d),
              TPacketResult::Decoded);
    EXPECT_EQ(d.coords.size(), 1u);
    EXPECT_TRUE(cap.lines().isEmpty());
}

TEST(OnlinePacket, CoordinateChecksAndInvalidTime) {
    struct Case {
        int byte;
        unsigned char value;
        const char *log;
        const char *error;
    } cases[] = {
        {0, 27 + 91, ": градусы широты 91", "Неверная координата: градусы широты"},
        {1, 48 + 61, ": минуты широты 61", "Неверная координата: минуты широты"},
        {2, 26, ": доли секунд широты(1)", "Неверная координата: доли секунд широты(1)"},
        {3, 127, ": доли секунд широты(2)", "Неверная координата: доли секунд широты(2)"},
        {4, 27 + 181, ": градусы долготы 181", "Неверная координата: градусы долготы"},
        {5, 20, ": минуты долготы -28", "Неверная координата: минуты долготы"},
        {6, 200, ": доли секунд долготы(1)", "Неверная координата: доли секунд долготы(1)"},
        {7, 0, ": доли секунд долготы(2)", "Неверная координата: доли секунд долготы(2)"},
    };
    LogCapture cap;
    for (const Case &c : cases) {
        QByteArray pos = kPos;
        pos[c.byte] = char(c.value);
        TDecodedPacket d;
        EXPECT_EQ(DecodeOnlinePacket(3, packet(pos, kNone, "ab"), d),
                  TPacketResult::BadCoordinates);
        const QStringList l = cap.lines();
        ASSERT_EQ(l.size(), 3) << c.log;
        EXPECT_TRUE(l[0].contains("ClientDataIn:: Получен пакет 3: ["));
        EXPECT_TRUE(l[1].endsWith(QString("ClientDataIn:: Неверная координата 3") + c.log))
            << l[1].toStdString();
        EXPECT_TRUE(l[2].endsWith(QString("(0) ProcessObjectOnLineData:: Ошибка обработки "
                                          "координат: ") +
                                  c.error))
            << l[2].toStdString();
    }

    // A position block cut short is a coordinate error too.
    TDecodedPacket d;
    QByteArray shortPos = packet(QByteArray(), QByteArray(), QByteArray()).left(7);
    shortPos.append("\x52\x5D");
    shortPos.append(char(PacketChecksum(shortPos, shortPos.size())));
    shortPos.append('#');
    EXPECT_EQ(DecodeOnlinePacket(3, shortPos, d), TPacketResult::BadCoordinates);
    cap.lines();

    // Day 0 is no date: the time is 0 and marked invalid, the packet still decodes.
    ASSERT_EQ(DecodeOnlinePacket(3, packet(kPos, kNone, "ab", false, 0), d),
              TPacketResult::Decoded);
    EXPECT_FALSE(d.timeValid);
    EXPECT_EQ(d.time, 0);
    EXPECT_EQ(d.coords.front().ts, 0);
}
