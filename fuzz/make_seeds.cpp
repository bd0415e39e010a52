// Writes the seed inputs that need the cipher or a checksum: encrypted lines for the line cutter,
// an honest login for the login exchange, device packets and the server lines carrying them.
// The text formats' seeds (settings, map files, scripts, paths) are plain files in the corpus.
//
//     fuzz_make_seeds fuzz/corpus
#include "link/Framing.h"
#include "link/cryptolib.h"
#include "monitor-sim/PacketEncoder.h"
#include "tracks/CoordsUtils.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

QString g_corpus;

void seed(const char *target, const char *name, const TBytes &bytes) {
    const QString dir = g_corpus + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(dir);
    QFile f(dir + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s/%s\n", target, name);
}

TBytes rc5(const TBytes &data, const TBytes &key, int direction, uint8_t *pad = nullptr) {
    TBytes out;
    uint8_t p = 0;
    RC5Bytes(data, key, 32, out, p, direction, 16);
    if (pad)
        *pad = p;
    return out;
}

// As a server sends a line: digit, ciphertext with its first "|" as the marker, CR LF.
TBytes envelope(const TBytes &plain, const TBytes &key) {
    uint8_t pad = 0;
    const TBytes cipher = rc5(plain, key, 1, &pad);
    return TBytes(1, char('0' + pad)) + ReplaceFirstBytes(cipher, QStringLiteral("|"), LineMarker) +
           "\r\n";
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return 2;
    g_corpus = QString::fromLocal8Bit(argv[1]);
    const TBytes key = "0123456789abcdef";

    // Packets: with and without a position, with a track block, short and long state forms.
    const QDateTime t(QDate(2026, 3, 15), QTime(10, 20, 30), Qt::UTC);
    TObjectState s;
    s.lat = 3345.1234;
    s.lon = 2257.5678;
    s.fuelRaw = 517;
    s.boardVoltageMv = 24100;
    s.temperature = 21.5;
    s.v24Gen = 1;
    const TPacketEncoder::TPoint p{s.lat, s.lon};
    const std::vector<TPacketEncoder::TPoint> further = {{s.lat + 0.01, s.lon - 0.02},
                                                         {s.lat + 0.03, s.lon - 0.01}};
    const TBytes packets[] = {
        TPacketEncoder::onlinePacket(t, p, {}, TPacketEncoder::shortState(s, 1), true),
        TPacketEncoder::onlinePacket(t, p, further, TPacketEncoder::shortState(s, 3), true),
        TPacketEncoder::onlinePacket(t, p, further, TPacketEncoder::longState(s), false),
        TPacketEncoder::onlinePacket(t, std::nullopt, {}, TPacketEncoder::shortState(s, 2), true),
    };
    const char *packetNames[] = {"short1", "short3-track", "long-track-nolf", "no-position"};
    for (int i = 0; i < 4; ++i) {
        seed("packet", packetNames[i], packets[i]);
        seed("server_lines", packetNames[i], "s|1000|data|" + packets[i]);
    }
    seed("server_lines", "cobj", "s|demo|cobj|1000,1001,1002");
    seed("server_lines", "cobj-null", "s|demo|cobj|null");
    seed("server_lines", "cnev", "s|1001|cnev|d");
    seed("server_lines", "programming", "s|1000|data|\x07\x20\x01\x02\x03\x04\x05");

    // Lines after the login (first byte 1: envelopes on, whole; 9: in pieces of 5 bytes), one
    // of them with CR LF inside its ciphertext, and a line before it.
    const TBytes crlfInside = rc5("abcde\r\nfghijklmn", key, -1);
    const TBytes lines = envelope("s|1000|cnev|c", key) + envelope(crlfInside, key) +
                         envelope("s|demo|cobj|1000", key) + "9ABCDEFGH\r\n" +
                         envelope("\xD5", key);
    seed("framing", "envelopes-whole", TBytes(1, '\x01') + lines);
    seed("framing", "envelopes-pieces", TBytes(1, '\x09') + lines);
    seed("framing", "plain-lines", TBytes(1, '\x00') + "auth|grb|x|y\r\nauth|yes|0\r\n");

    // The login as an honest server answers the challenge fuzz/login.cpp uses.
    const TBytes challenge = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    const TBytes K = MD5Bytes("demo");
    const TBytes proof = ReplaceFirstBytes(rc5(challenge, K, 1), QStringLiteral("|"), LineMarker);
    uint8_t pad = 0;
    const TBytes sealedKey = rc5(key, K, 1, &pad);
    seed("login", "honest",
         "auth|grb|" + proof + "|QRSTUVWX\r\nauth|yes|" + TBytes(1, char('0' + pad)) +
             ReplaceFirstBytes(sealedKey, QStringLiteral("|"), LineMarker) + "\r\n");
    seed("login", "empty-key", "auth|grb|" + proof + "|QRSTUVWX\r\nauth|yes|0\r\n");
    seed("login", "refused", "auth|no\r\n");

    // Day files: a window (two times) and records, in and out of order, with equal times and a
    // partial record at the end.
    auto window = [](double b, double e) {
        TBytes w(16, '\0');
        std::memcpy(w.data(), &b, 8);
        std::memcpy(w.data() + 8, &e, 8);
        return w;
    };
    auto records = [](const std::vector<double> &times) {
        TBytes out;
        for (size_t i = 0; i < times.size(); ++i) {
            unsigned char r[TCoordData::RecordSize];
            TCoordData{3345 + i * 0.01L, 2257 - i * 0.01L, times[i], int32_t(i % 2)}.toBytes(r);
            out += TBytes(reinterpret_cast<const char *>(r), TCoordData::RecordSize);
        }
        return out;
    };
    const double day = 46096; // 15.03.2026
    seed("track_file", "ascending",
         window(day + 0.1, day + 0.3) + records({day, day + 0.1, day + 0.2, day + 0.3, day + 0.4}));
    seed("track_file", "unordered-equal-times",
         window(day, day + 1) + records({day + 0.3, day + 0.1, day + 0.1, day + 0.2, day}));
    seed("track_file", "partial-record",
         window(day + 0.5, day) + records({day, day + 0.2}) + TBytes(20, '\x7f'));
    return 0;
}
