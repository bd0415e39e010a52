#include "DeviceSide.h"

#include "link/ServerLines.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace {

// The command letters as the client's lines carry them (the low 8 bits of "о" ... "ф").
enum : unsigned char {
    kEnter = 0x3E,       // "о" n: enter programming mode
    kReadyBlocks = 0x3F, // "п" n: get ready for the four blocks
    kWrite = 0x40,       // "р" N data: a block or the equipment packet
    kEnterEquip = 0x41,  // "с" n: enter equipment programming
    kReadyEquip = 0x42,  // "т" N: get ready for the equipment packet
    kReport3 = 0x43,     // "у" n: the four form-3 reports
    kReport1 = 0x44,     // "ф" n: the form-1 report
};

// Characters 5 and 6 of the status signatures a device sends.
const char *const kInProgramming = "*\x07";
const char *const kReadyFor[4] = {"AA", "QQ", "MM", "HH"};
const char *const kProgOk = "55";
const char *const kProgError = "ZZ";
const char *const kTimeOut = "A2";
const char *const kInEquip = "A0";
const char *const kReadyEquipPacket = "A1";
const char *const kDataError = "A3";
const char *const kAllOk = "A5";
const char *const kTimeOk = "A6";
const char *const kParamOk = "A7";
const char *const kParamError = "A8";

TBytes signature(const char *tail) {
    TBytes s;
    s += char(0x08);
    s += char(kProgrammingSignatureByte);
    s += "CR";
    s += TBytes(tail, 2);
    s += '?';
    return s;
}

QString hex(const TBytes &b) {
    return QString::fromLatin1(b.toHex());
}

int code10(double v) {
    const double r = std::nearbyint(v);
    return r < 0 ? 0 : r > 1023 ? 1023 : int(r);
}
int oilCode(double celsius) {
    return code10(((celsius * 10 + 500) / 1.048) / 5000 * 1024);
}
int batteryCode(double volts) {
    return code10(volts * 1024 / 36.25);
}

TBytes joined(const QList<TBytes> &fields) {
    TBytes b;
    for (int i = 0; i < fields.size(); ++i)
        b += (i ? ":" : "") + fields[i];
    return b + '>';
}

QList<TBytes> fieldsOf(const TBytes &block, int count) {
    TBytes body = block;
    if (body.endsWith('>'))
        body.chop(1);
    QList<TBytes> f = body.split(':');
    while (f.size() < count)
        f << TBytes();
    return f;
}

// The device keeps fixed-width fields: a full one needs no ":" after it.
TBytes fit(const TBytes &field, int width) {
    return field.size() >= width ? field.left(width) : field + ':';
}

int bit(const TBytes &b, int at, int n) {
    return (uchar(b[at]) >> n) & 1;
}

// Two bytes per data byte: "0" + high nibble, "0" + low nibble.
void putNibbles(TBytes &out, unsigned char v) {
    out += char(0x30 + (v >> 4));
    out += char(0x30 + (v & 0x0F));
}

} // namespace

bool TDeviceFaults::take(QStringList &args, QString &) {
    silent = args.removeAll(QStringLiteral("--fault-device-silent")) > 0 || silent;
    paramError = args.removeAll(QStringLiteral("--fault-param-error")) > 0 || paramError;
    cutReport = args.removeAll(QStringLiteral("--fault-cut-report")) > 0 || cutReport;
    return true;
}

QString TDeviceFaults::usage() {
    return QStringLiteral(
        "\nthe objects' devices (device programming):\n"
        "  --fault-device-silent    no device answers the programming commands\n"
        "  --fault-param-error      writes are refused (\"ZZ\" after the fourth block, \"A8\"\n"
        "                           after the equipment packet) and nothing is kept\n"
        "  --fault-cut-report       the fourth form-3 report and the form-1 report are cut "
        "short\n");
}

TDeviceSide::TDeviceSide(std::vector<int> objects, TDeviceFaults faults, TLog log)
    : m_objects(std::move(objects)), m_faults(faults), m_log(std::move(log)) {}

void TDeviceSide::log(const QString &text) const {
    if (m_log)
        m_log(QStringLiteral("device: ") + text);
}

TDeviceSide::TDevice TDeviceSide::factoryDevice() {
    TDevice d;
    d.blocks[0] = joined({"000.000.000.000", "00000", "", "", "", "0", "0001", "7QX4K2M9"});
    TBytes b2(43, '\0');
    for (int k = 0; k < 5; ++k)
        b2[k * 5] = char(0x90); // 9000000000
    for (int i = 25; i <= 32; ++i)
        b2[i] = '0';
    d.blocks[1] = b2;
    d.blocks[2] = joined({"", "", "", "", "", "", "0", ""});
    // Balance numbers used (empty), GPS present, prefix "8", no authentication, packet service.
    d.blocks[3] = joined(
        {"", "", "", TBytes(1, char(0x80)), "8", "", TBytes(1, char(0x80 | (2 << 3) | 1)), "0"});
    d.equipment.lowerCode = oilCode(25);
    d.equipment.upperCode = oilCode(30);
    d.equipment.batteryCode = batteryCode(22.7);
    return d;
}

TBytes TDeviceSide::form3Report(const TDevice &d, int block) {
    TBytes text;
    const TBytes &b = d.blocks[size_t(block - 1)];
    switch (block) {
    case 1: {
        const QList<TBytes> f = fieldsOf(b, 8);
        text = fit(f[0], 15) + fit(f[1], 5) + fit(f[2], 10) + fit(f[3], 10) + fit(f[4], 25) + f[5] +
               ':' + fit(f[6], 4) + f[7];
        break;
    }
    case 2:
        text = b.left(43).leftJustified(43, '\0');
        break;
    case 3: {
        const QList<TBytes> f = fieldsOf(b, 8);
        text = fit(f[0], 10) + fit(f[1], 10) + fit(f[2], 25) + fit(f[3], 10) + fit(f[4], 10) +
               fit(f[5], 25) + f[6] + ':' + f[7] + '>';
        break;
    }
    case 4: {
        const QList<TBytes> f = fieldsOf(b, 8);
        for (int s = 0; s < 3; ++s)
            text += f[s] == "E" ? TBytes("E:") : fit(f[s], 5);
        // The written flag byte B carries "automatic" as a clear 0x04 bit; the report sets
        // the bit for it.
        TBytes flagB = f[6].left(1);
        if (!flagB.isEmpty())
            flagB[0] = char(uchar(flagB[0]) ^ 0x04);
        text += f[3].left(1) + ':' + fit(f[4], 3) + fit(f[5], 10) + flagB;
        break;
    }
    }
    text = text.left(255);
    TBytes p;
    p += char(7);
    p += char('0' + block);
    putNibbles(p, uchar(text.size()));
    unsigned char check = 0;
    for (char c : text) {
        putNibbles(p, uchar(c));
        check ^= uchar(c);
    }
    putNibbles(p, check);
    return p;
}

TBytes TDeviceSide::form1Report(const TDevice &d) {
    const TEquipment &e = d.equipment;
    TBytes b(9, '\0');
    b[0] = char(0xDF);
    const auto put = [&b](int hi, int lo, int code) {
        b[hi] = char(uchar(b[hi]) | ((code >> 5) & 0x1F));
        b[lo] = char(uchar(b[lo]) | (code & 0x1F));
    };
    const auto set = [&b](int at, int n, bool on) {
        if (on)
            b[at] = char(uchar(b[at]) | (1u << n));
    };
    put(1, 2, e.upperCode);
    put(3, 4, e.lowerCode);
    put(5, 6, e.batteryCode);
    for (int k = 0; k < 4; ++k) // pump bits 3..0 in bit 5 of bytes 1..4
        set(1 + k, 5, (e.pump >> (3 - k)) & 1);
    for (int k = 0; k < 5; ++k) // minimum temperature bits 4..0 in bit 6 of bytes 1..5
        set(1 + k, 6, (e.minTemp >> (4 - k)) & 1);
    set(5, 5, e.coef & 8);
    set(6, 5, e.coef & 4);
    set(7, 5, e.coef & 2);
    set(8, 6, e.coef & 1);
    b[7] = char(uchar(b[7]) | (e.maxTemp & 0x1F));
    set(7, 6, e.canWorkWithEngine);
    set(7, 7, e.heater2);
    return b;
}

bool TDeviceSide::handleLine(const TBytes &plain, const TReply &reply) {
    if (plain.size() < 2)
        return false;
    const unsigned char letter = uchar(plain[0]);
    if (letter < kEnter || letter > kReport1)
        return false;
    // "р" and "т" carry the number as ten digits, the others as plain digits.
    const bool numbered = letter == kWrite || letter == kReadyEquip;
    qsizetype digits = 1;
    while (digits < plain.size() && (!numbered || digits <= 10) && plain[digits] >= '0' &&
           plain[digits] <= '9')
        ++digits;
    if (digits == 1 || (numbered && digits != 11) || (!numbered && digits != plain.size()))
        return false;
    bool ok = false;
    const int object = plain.mid(1, digits - 1).toInt(&ok);
    if (!ok)
        return false;
    const TBytes tail = plain.mid(digits);
    log(QStringLiteral("object=%1 command=%2 data=%3")
            .arg(object)
            .arg(QString(QChar(char16_t(0x0400 + letter))), hex(tail)));
    if (std::find(m_objects.begin(), m_objects.end(), object) == m_objects.end()) {
        log(QStringLiteral("object=%1 has no device here").arg(object));
        return true;
    }
    if (m_faults.silent) {
        log(QStringLiteral("object=%1 stays silent").arg(object));
        return true;
    }
    auto it = m_devices.find(object);
    if (it == m_devices.end())
        it = m_devices.emplace(object, factoryDevice()).first;
    answer(object, it->second, letter, tail, reply);
    return true;
}

void TDeviceSide::answer(int object, TDevice &d, unsigned char letter, const TBytes &tail,
                         const TReply &reply) {
    using Mode = TDevice::Mode;
    const auto say = [&](const char *sig) {
        log(QStringLiteral("object=%1 answers %2").arg(object).arg(QString::fromLatin1(sig, 2)));
        reply(object, signature(sig));
    };
    switch (letter) {
    case kEnter:
        d.mode = Mode::Connection;
        say(kInProgramming);
        break;
    case kReadyBlocks:
        if (d.mode != Mode::Connection) {
            d.mode = Mode::Idle;
            say(kTimeOut);
            break;
        }
        d.mode = Mode::Blocks;
        d.nextBlock = 0;
        say(kReadyFor[0]);
        break;
    case kEnterEquip:
        d.mode = Mode::Equipment;
        say(kInEquip);
        break;
    case kReadyEquip:
        if (d.mode != Mode::Equipment) {
            d.mode = Mode::Idle;
            say(kTimeOut);
            break;
        }
        d.mode = Mode::EquipmentPacket;
        say(kReadyEquipPacket);
        break;
    case kWrite:
        if (d.mode == Mode::Blocks) {
            d.pending[size_t(d.nextBlock)] = tail;
            if (++d.nextBlock < 4) {
                say(kReadyFor[d.nextBlock]);
                break;
            }
            d.mode = Mode::Idle;
            if (m_faults.paramError) {
                say(kProgError);
                break;
            }
            d.blocks = d.pending;
            say(kProgOk);
        } else if (d.mode == Mode::EquipmentPacket) {
            d.mode = Mode::Idle;
            takePacket(object, d, tail, reply);
        } else {
            say(kTimeOut);
        }
        break;
    case kReport3:
        d.mode = Mode::Idle;
        for (int block = 1; block <= 4; ++block) {
            TBytes r = form3Report(d, block);
            if (m_faults.cutReport && block == 4)
                r.chop(5);
            log(QStringLiteral("object=%1 reports form 3 block %2").arg(object).arg(block));
            reply(object, r);
        }
        break;
    case kReport1: {
        d.mode = Mode::Idle;
        TBytes r = form1Report(d);
        if (m_faults.cutReport)
            r.truncate(5);
        log(QStringLiteral("object=%1 reports form 1").arg(object));
        reply(object, r);
        break;
    }
    }
}

void TDeviceSide::takePacket(int object, TDevice &d, const TBytes &b, const TReply &reply) {
    const auto say = [&](const char *sig) {
        log(QStringLiteral("object=%1 answers %2").arg(object).arg(QString::fromLatin1(sig, 2)));
        reply(object, signature(sig));
    };
    unsigned char check = 1;
    for (int i = 1; i <= 13 && i < b.size(); ++i)
        check ^= uchar(b[i]);
    check &= 0x1F;
    if (check == 0)
        check = 1;
    if (b.size() != 15 || b[0] != 1 || uchar(b[14]) != check + 0x40) {
        log(QStringLiteral("object=%1 refuses the packet %2").arg(object).arg(hex(b)));
        say(kDataError);
        return;
    }
    if (m_faults.paramError) {
        say(kParamError);
        return;
    }
    const bool params = uchar(b[13]) & 0x08, time = uchar(b[13]) & 0x04;
    if (params) {
        TEquipment &e = d.equipment;
        const auto code = [&b](int at) {
            return (uchar(b[at]) & 0x1F) << 5 | (uchar(b[at + 1]) & 0x1F);
        };
        e.lowerCode = code(6);
        e.upperCode = code(8);
        e.batteryCode = code(10);
        e.maxTemp = bit(b, 10, 6) | bit(b, 9, 6) << 1 | bit(b, 8, 6) << 2 | bit(b, 7, 6) << 3 |
                    bit(b, 6, 6) << 4;
        e.pump = bit(b, 9, 5) | bit(b, 8, 5) << 1 | bit(b, 7, 5) << 2 | bit(b, 6, 5) << 3;
        e.coef = bit(b, 10, 5) << 3 | bit(b, 11, 5) << 2 | bit(b, 12, 5) << 1 | bit(b, 11, 6);
        e.minTemp = uchar(b[12]) & 0x1F;
        e.canWorkWithEngine = bit(b, 12, 6);
        e.heater2 = bit(b, 12, 7);
    }
    if (time)
        d.clock = QDateTime(QDate(2000 + uchar(b[5]) - 27, uchar(b[4]) - 48, uchar(b[3]) - 48),
                            QTime(uchar(b[1]) - 48, uchar(b[2]) - 48));
    say(params && time ? kAllOk : time ? kTimeOk : kParamOk);
}
