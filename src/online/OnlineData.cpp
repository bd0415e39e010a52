#include "online/OnlineData.h"

#include "app/Logging.h"
#include "online/ControllableObject.h"

#include <QDate>
#include <QTime>

#include <stdexcept>

namespace {
const QString kSenderIn = QStringLiteral("ClientDataIn");

class ECoordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

unsigned char at(const QByteArray &b, int i) {
    return static_cast<unsigned char>(b.at(i));
}

QString hex2(unsigned v) {
    return QString::asprintf("%02X", v & 0xFF);
}
} // namespace

unsigned char PacketChecksum(const QByteArray &P, int end) {
    unsigned char x = 0;
    for (int i = 0; i < end && i < P.size(); ++i)
        x ^= at(P, i);
    x &= 0x1F;
    if (x == 0)
        x = 1;
    return x | 0x40;
}

TPacketResult DecodeOnlinePacket(int N, const QByteArray &P, TDecodedPacket &out) {
    out = TDecodedPacket{};
    const int len = P.size();
    if (len <= 9)
        return TPacketResult::Ignored;
    const int e = at(P, len - 1) == 0x0A ? 1 : 0;
    const unsigned char want = PacketChecksum(P, len - 2 - e);
    const unsigned char got = at(P, len - 2 - e);
    const QString n = QString::number(N);
    if (want != got) {
        LogOperations(QStringLiteral("Получен пакет ") + n + QStringLiteral(": ") +
                          TOperationsLog::ArrayToString(P),
                      kSenderIn, 20);
        LogOperations(QStringLiteral("Неверный пакет ") + n + QStringLiteral(": ") + hex2(want) +
                          QStringLiteral("!=") + hex2(got),
                      kSenderIn, 20);
        return TPacketResult::BadChecksum;
    }

    // Time: the fields carry their value plus 48 (the year minus 2000 plus 27).
    const int hh = at(P, 1) - 48, mi = at(P, 2) - 48, ss = at(P, 3) - 48;
    const int dd = at(P, 4) - 48, mo = at(P, 5) - 48, yy = at(P, 6) - 27 + 2000;
    if (QDate::isValid(yy, mo, dd) && QTime::isValid(hh, mi, ss)) {
        out.time = dt::encode(yy, mo, dd, hh, mi, ss);
        out.timeValid = true;
    }

    QByteArray rest = P.mid(7);
    try {
        if (!rest.isEmpty() && at(rest, 0) == 0xCF) {
            rest.remove(0, 1);
        } else {
            auto fail = [&](const QString &logTail, const QString &error) {
                LogOperations(QStringLiteral("Получен пакет ") + n + QStringLiteral(": ") +
                                  TOperationsLog::ArrayToString(P),
                              kSenderIn, 20);
                LogOperations(QStringLiteral("Неверная координата ") + n + logTail, kSenderIn, 20);
                throw ECoordError(error.toStdString());
            };
            if (rest.size() < 8)
                fail(QStringLiteral(": блок координат короче 8 байт"),
                     QStringLiteral("Неверная координата: блок координат короче 8 байт"));
            long double value[2] = {0, 0};
            const char *names[2][2] = {{"широты", "широты"}, {"долготы", "долготы"}};
            for (int part = 0; part < 2; ++part) {
                const int o = part * 4;
                const int deg = at(rest, o) - 27;
                const int min = at(rest, o + 1) - 48;
                const int f1 = at(rest, o + 2), f2 = at(rest, o + 3);
                const QString what = QString::fromUtf8(names[part][0]);
                if (deg < 0 || deg > (part == 0 ? 90 : 180))
                    fail(QStringLiteral(": градусы ") + what + QLatin1Char(' ') +
                             QString::number(deg),
                         QStringLiteral("Неверная координата: градусы ") + what);
                if (min < 0 || min > 60)
                    fail(QStringLiteral(": минуты ") + what + QLatin1Char(' ') +
                             QString::number(min),
                         QStringLiteral("Неверная координата: минуты ") + what);
                if (f1 < 27 || f1 > 126)
                    fail(QStringLiteral(": доли секунд ") + what + QStringLiteral("(1)"),
                         QStringLiteral("Неверная координата: доли секунд ") + what +
                             QStringLiteral("(1)"));
                if (f2 < 27 || f2 > 126)
                    fail(QStringLiteral(": доли секунд ") + what + QStringLiteral("(2)"),
                         QStringLiteral("Неверная координата: доли секунд ") + what +
                             QStringLiteral("(2)"));
                value[part] = deg * 60.0L + min + (f1 * 100 + f2 - 2727) / 10000.0L;
            }
            TCoordStamp first;
            first.Coords.Latitude = value[0];
            first.Coords.Longitude = value[1];
            first.ts = out.time;
            out.coords.push_back(first);
            rest.remove(0, 8);
        }
    } catch (const ECoordError &err) {
        LogOperations(QStringLiteral("Ошибка обработки координат: ") +
                          QString::fromStdString(err.what()),
                      QStringLiteral("ProcessObjectOnLineData"), 0);
        return TPacketResult::BadCoordinates;
    }

    // Track block: further points as steps from the one before, two seconds apart.
    if (!rest.isEmpty() && at(rest, 0) == 0xCF) {
        rest.remove(0, 1);
    } else if (rest.size() >= 2) {
        const long double divisor = at(rest, 0) == 0x33 ? 500.0L : 5000.0L;
        const int k = at(rest, 1) - 27;
        // Without a packet position there is nothing to step from; a block cut short keeps
        // only the packet position.
        if (k >= 0 && rest.size() >= 2 + 2 * k) {
            if (!out.coords.empty()) {
                for (int i = 0; i < k; ++i) {
                    TCoordStamp p = out.coords.back();
                    p.Coords.Latitude += (at(rest, 2 + 2 * i) - 78) / divisor;
                    p.Coords.Longitude += (at(rest, 3 + 2 * i) - 78) / divisor;
                    p.ts += 2.0 / 86400.0;
                    out.coords.push_back(p);
                }
            }
            rest.remove(0, 2 + 2 * k);
        }
    }

    // The separator, then the state string up to (not including) the packet's last byte.
    if (rest.size() >= 2)
        out.sost = rest.mid(1, rest.size() - 2);
    return TPacketResult::Decoded;
}
