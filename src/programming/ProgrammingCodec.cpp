#include "programming/ProgrammingCodec.h"

#include "app/FormatSettings.h"
#include "link/Bytes.h"

#include <cmath>

namespace programming {

namespace {

constexpr char kSep = ':';
constexpr char kEnd = '>';
// The SMS password position of block 1 carries this fixed text, not the window's field.
const QString kBlock1SmsPassword = QStringLiteral("7QX4K2M9");

void addField(QByteArray &b, const QString &text) {
    b += TextToBytes(text);
    b += kSep;
}

QString quoted(const QString &text) {
    return QStringLiteral("\"") + text + QStringLiteral("\"");
}

// A number typed into a field, or the conversion error that stops the command.
double number(const QString &text) {
    double v = 0;
    if (!ParseFloat(text, v))
        throw EProgrammingError(quoted(text) + QStringLiteral(" не является числом"));
    return v;
}

// The two 5-bit halves of a 10-bit code: bits 9..5 first.
void putCode(QByteArray &b, int at, int code) {
    b[at] = char((code >> 5) & 0x1F);
    b[at + 1] = char(code & 0x1F);
}

void setBit(QByteArray &b, int at, int bit, bool on) {
    if (on)
        b[at] = char(uchar(b[at]) | (1u << bit));
}

int bitOf(const QByteArray &b, int at, int bit) {
    return (uchar(b[at]) >> bit) & 1;
}

int clampCode(double v) {
    // Halves go to the even neighbour (the default rounding mode).
    const double r = std::nearbyint(v);
    if (!(r > 0))
        return 0;
    return r > 1023 ? 1023 : int(r);
}

// Fields from the front of a report's text.
class TFieldReader {
public:
    explicit TFieldReader(QString text) : m_rest(std::move(text)) {}

    // At most max characters; a ":" among them ends the field early and is dropped with it.
    QString take(int max) {
        const QString head = m_rest.left(max);
        const int colon = head.indexOf(QLatin1Char(kSep));
        if (colon >= 0) {
            m_rest.remove(0, colon + 1);
            return head.left(colon);
        }
        m_rest.remove(0, head.size());
        return head;
    }
    // The text before the next ":" and the ":" itself; nothing when there is none.
    QString upToColon() {
        const int colon = m_rest.indexOf(QLatin1Char(kSep));
        if (colon < 0)
            return {};
        const QString f = m_rest.left(colon);
        m_rest.remove(0, colon + 1);
        return f;
    }
    void dropThroughColon() { m_rest.remove(0, m_rest.indexOf(QLatin1Char(kSep)) + 1); }
    // The next character as a byte; a report that ends here is cut.
    unsigned char flag(const char *what) {
        if (m_rest.isEmpty())
            throw EProgrammingError(QStringLiteral("в блоке нет байта ") +
                                    QString::fromLatin1(what));
        return uchar(m_rest.at(0).unicode() & 0xFF);
    }
    void dropOne() { m_rest.remove(0, 1); }
    bool startsWith(QChar c) const { return m_rest.startsWith(c); }
    const QString &rest() const { return m_rest; }

private:
    QString m_rest;
};

void form3Block1(TFieldReader &r, TProgrammingParams &p) {
    p.IPEdit = r.take(15);
    p.PortEdit = r.take(5);
    p.sim[0].Login = r.take(10);
    p.sim[0].Pass = r.take(10);
    p.sim[0].InitStr = r.take(25);
    p.coordFilter = r.upToColon();
    p.IDEdit = r.take(4);
    p.SMSPassEdit = r.rest();
}

void form3Block2(const QByteArray &d, TProgrammingParams &p) {
    for (int k = 0; k < 5; ++k) {
        p.PhoneNum[size_t(k)] = QString::fromLatin1(d.mid(k * 5, 5).toHex().toUpper());
        p.trs[size_t(k)] = (uchar(d[33 + 2 * k]) & kAlarmNumberMark) != 0;
    }
}

void form3Block3(TFieldReader &r, TProgrammingParams &p) {
    for (int s : {1, 2}) {
        p.sim[size_t(s)].Login = r.take(10);
        p.sim[size_t(s)].Pass = r.take(10);
        p.sim[size_t(s)].InitStr = r.take(25);
    }
    r.upToColon();
    QString dns = r.rest();
    dns.chop(1);
    p.edDNS = dns;
}

void form3Block4(TFieldReader &r, TProgrammingParams &p) {
    for (TSimSettings &s : p.sim) {
        if (r.startsWith(QLatin1Char('E'))) {
            s.Ussd.clear();
            s.UseBalance = false;
            r.dropThroughColon();
        } else {
            s.Ussd = r.take(5);
            s.UseBalance = true;
        }
    }
    const unsigned char a = r.flag("A");
    p.cbUseDNS = a & flagA::UseDns;
    p.cbRewriteIP = a & flagA::RewriteIp;
    p.UseCustomPrefix = a & flagA::OwnPrefix;
    p.gpsPresent = !(a & flagA::NoGps);
    r.dropThroughColon();
    p.PrefixComboBox =
        r.take(3) == QLatin1String("+7") ? QStringLiteral("+7") : QStringLiteral("8");
    p.CustomPrefixEdit = r.take(10);
    const unsigned char b = r.flag("B");
    p.cbUseIP = b & flagB::HasIp;
    const int auth = (b >> flagB::AuthShift) & 3;
    if (auth <= 2)
        p.PapChapComboBox = auth;
    p.PrefServComboBox = (b & (1u << flagB::PrefServShift)) ? 0 : 1;
    const int bearer = b & 3;
    if (bearer <= 2)
        p.BearerComboBox = bearer;
}

} // namespace

QString PaddedNumber(int n) {
    return QString::number(n).rightJustified(10, QLatin1Char('0'));
}

QByteArray ShortCommand(char16_t letter, int n) {
    return TextToBytes(QChar(letter) + QString::number(n));
}

QByteArray NumberedCommand(char16_t letter, int n, const QByteArray &tail) {
    return TextToBytes(QChar(letter) + PaddedNumber(n)) + tail;
}

QByteArray Block1(const TProgrammingParams &p) {
    QByteArray b;
    addField(b, p.IPEdit);
    addField(b, p.PortEdit);
    addField(b, p.sim[0].Login);
    addField(b, p.sim[0].Pass);
    addField(b, p.sim[0].InitStr);
    addField(b, QStringLiteral("0")); // the coordinate filter
    addField(b, p.IDEdit);
    b += TextToBytes(kBlock1SmsPassword);
    b += kEnd;
    return b;
}

QByteArray PackPhone(const QString &digits, int number) {
    QByteArray b(5, '\0');
    for (int i = 0; i < 10; ++i) {
        const QChar c = i < digits.size() ? digits.at(i) : QChar(u' ');
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            throw EProgrammingError(QStringLiteral("Федеральный номер №") +
                                    QString::number(number) + QStringLiteral(": ") +
                                    quoted(QString(c)) + QStringLiteral(" не является цифрой"));
        const int d = c.unicode() - '0';
        b[i / 2] = char(uchar(b[i / 2]) | (i % 2 ? d : d << 4));
    }
    return b;
}

QByteArray Block2(const TProgrammingParams &p) {
    QByteArray b(Block2Size, '\0');
    for (int k = 0; k < 5; ++k)
        b.replace(k * 5, 5, PackPhone(p.PhoneNum[size_t(k)], k + 1));
    for (int i = 25; i <= 32; ++i)
        b[i] = '0';
    for (int k = 0; k < 5; ++k)
        b[33 + 2 * k] = char(p.trs[size_t(k)] ? kAlarmNumberMark : 0);
    return b;
}

QByteArray Block3(const TProgrammingParams &p) {
    QByteArray b;
    for (int s : {1, 2}) {
        addField(b, p.sim[size_t(s)].Login);
        addField(b, p.sim[size_t(s)].Pass);
        addField(b, p.sim[size_t(s)].InitStr);
    }
    addField(b, QStringLiteral("0"));
    b += TextToBytes(p.edDNS);
    b += kEnd;
    return b;
}

QByteArray Block4(const TProgrammingParams &p) {
    QByteArray b;
    for (const TSimSettings &s : p.sim)
        addField(b, s.UseBalance ? s.Ussd : QStringLiteral("E"));
    unsigned char a = flagA::Base;
    if (p.cbUseDNS)
        a |= flagA::UseDns;
    if (p.cbRewriteIP)
        a |= flagA::RewriteIp;
    if (p.UseCustomPrefix)
        a |= flagA::OwnPrefix;
    if (!p.gpsPresent)
        a |= flagA::NoGps;
    b += char(a);
    b += kSep;
    addField(b, p.PrefixComboBox);
    addField(b, p.CustomPrefixEdit);
    const unsigned char fb = flagB::Base | (p.cbUseIP ? flagB::HasIp : 0) |
                             ((p.PapChapComboBox & 3) << flagB::AuthShift) |
                             ((p.PrefServComboBox & 1) << flagB::PrefServShift) |
                             (p.BearerComboBox & 3);
    b += char(fb);
    b += kSep;
    b += '0';
    b += kEnd;
    return b;
}

int OilCode(double celsius) {
    return clampCode(((celsius * 10 + 500) / 1.048) / 5000 * 1024);
}

int BatteryCode(double volts) {
    return clampCode(volts * 1024 / 36.25);
}

double OilFromCode(int code) {
    return ((code * 5000.0 / 1024) * 1.048 - 500) / 10;
}

double BatteryFromCode(int code) {
    return code * 5.0 / 1024 * 7.25;
}

unsigned char PacketCheckByte(const QByteArray &packet) {
    unsigned char x = 1;
    for (int i = 1; i <= 13 && i < packet.size(); ++i)
        x ^= uchar(packet[i]);
    x &= 0x1F;
    if (x == 0)
        x = 1;
    return x + 0x40;
}

QByteArray EquipmentPacket(const TProgrammingParams &p) {
    // A value outside its list or range would spill into the neighbouring bits.
    const auto within = [](int v, int lo, int hi, const char *what) {
        if (v < lo || v > hi)
            throw EProgrammingError(QString::fromUtf8(what) + QStringLiteral(": ") +
                                    QString::number(v) +
                                    QStringLiteral(" вне допустимых значений"));
    };
    within(p.cbTimeSr, 0, int(TimeSrItems().size()) - 1, "Время работы насоса");
    within(p.cbEngTempMin, 0, int(EngTempItems().size()) - 1, "Минимальная температура");
    within(p.cbEngTempMax, 0, int(EngTempItems().size()) - 1, "Максимальная температура");
    within(p.cbRecalcCoof, 0, int(RecalcCoofItems().size()) - 1, "Коэффициент пересчета");
    within(p.seHour, 0, 23, "часы");
    within(p.seMin, 0, 59, "минуты");
    within(p.seDay, 1, 31, "день");
    within(p.seMonth, 1, 12, "месяц");
    QByteArray b(EquipmentPacketSize, '\0');
    b[0] = 1;
    b[1] = char(p.seHour + 48);
    b[2] = char(p.seMin + 48);
    b[3] = char(p.seDay + 48);
    b[4] = char(p.seMonth + 48);
    const QString year = QString::number(p.seYear);
    bool ok = false;
    const int yy = year.size() >= 4 ? year.mid(2, 2).toInt(&ok) : 0;
    if (!ok)
        throw EProgrammingError(QStringLiteral("Год ") + quoted(year) +
                                QStringLiteral(" не записан четырьмя цифрами"));
    b[5] = char(yy + 27);
    if (!p.edTMASmin.isEmpty())
        putCode(b, 6, OilCode(number(p.edTMASmin)));
    if (!p.edTMASmax.isEmpty())
        putCode(b, 8, OilCode(number(p.edTMASmax)));
    putCode(b, 10, BatteryCode(number(p.edAKB)));
    b[12] = char(uchar(b[12]) | (p.cbEngTempMin & 0x1F));
    setBit(b, 12, 6, p.cbCanWorkWithEngine);
    setBit(b, 12, 7, p.cbUseHeater2);
    // The indices' bits go into the spare high bits of bytes 6..12.
    const int mx = p.cbEngTempMax, pump = p.cbTimeSr, coef = p.cbRecalcCoof;
    setBit(b, 10, 6, mx & 1);
    setBit(b, 9, 6, mx & 2);
    setBit(b, 8, 6, mx & 4);
    setBit(b, 7, 6, mx & 8);
    setBit(b, 6, 6, mx & 16);
    setBit(b, 9, 5, pump & 1);
    setBit(b, 8, 5, pump & 2);
    setBit(b, 7, 5, pump & 4);
    setBit(b, 6, 5, pump & 8);
    setBit(b, 10, 5, coef & 8);
    setBit(b, 11, 5, coef & 4);
    setBit(b, 12, 5, coef & 2);
    setBit(b, 11, 6, coef & 1);
    unsigned char b13 = 0;
    if (p.cbProgCanWorkWithEngine)
        b13 |= equip::ProgCanWorkWithEngine;
    if (p.cbProgramParam)
        b13 |= equip::ProgramParam;
    if (p.cbProgramTime)
        b13 |= equip::ProgramTime;
    b[13] = char(b13);
    b[14] = char(PacketCheckByte(b));
    return b;
}

QStringList HexLines(const QByteArray &bytes) {
    QStringList l;
    for (char c : bytes)
        l << QStringLiteral("%1").arg(uint(uchar(c)), 2, 16, QLatin1Char('0')).toUpper();
    return l;
}

TForm3Report DecodeForm3(const QByteArray &P, const TProgrammingParams &current) {
    TForm3Report r;
    r.params = current;
    if (P.size() < 2) {
        r.outcome = TReportOutcome::BadLength;
        return r;
    }
    r.block = P[1];
    int L = 43;
    if (r.block != '2') {
        if (P.size() < 4) {
            r.outcome = TReportOutcome::BadLength;
            return r;
        }
        L = (uchar(P[2]) & 0x0F) * 16 + (uchar(P[3]) & 0x0F);
    }
    if (P.size() < 2 * L + 6) {
        r.outcome = TReportOutcome::BadLength;
        return r;
    }
    r.data.resize(L);
    for (int k = 0; k < L; ++k)
        r.data[k] = char((uchar(P[4 + 2 * k]) * 16 + (uchar(P[5 + 2 * k]) & 0x0F)) & 0xFF);
    try {
        TFieldReader fields(QString::fromLatin1(r.data));
        switch (r.block) {
        case '1':
            form3Block1(fields, r.params);
            break;
        case '2':
            form3Block2(r.data, r.params);
            break;
        case '3':
            form3Block3(fields, r.params);
            break;
        case '4':
            form3Block4(fields, r.params);
            break;
        default:
            throw EProgrammingError(QStringLiteral("неизвестный блок данных ") +
                                    quoted(QString::fromLatin1(P.mid(1, 1).toHex())));
        }
    } catch (const EProgrammingError &e) {
        r.outcome = TReportOutcome::BadContent;
        r.error = e.text();
        r.params = current;
        return r;
    }
    r.outcome = TReportOutcome::Ok;
    return r;
}

TForm1Report DecodeForm1(const QByteArray &b, const TProgrammingParams &current) {
    TForm1Report r;
    r.params = current;
    if (b.size() < Form1MinSize) {
        r.error = QStringLiteral("в пакете ") + QString::number(b.size()) +
                  QStringLiteral(" байт, нужно не менее ") + QString::number(Form1MinSize);
        return r;
    }
    const auto c = [&b](int i, int j) { return (uchar(b[i]) & 0x1F) * 32 + (uchar(b[j]) & 0x1F); };
    const int pump =
        bitOf(b, 1, 5) << 3 | bitOf(b, 2, 5) << 2 | bitOf(b, 3, 5) << 1 | bitOf(b, 4, 5);
    const int maxT = uchar(b[7]) & 0x1F;
    const int minT = bitOf(b, 1, 6) << 4 | bitOf(b, 2, 6) << 3 | bitOf(b, 3, 6) << 2 |
                     bitOf(b, 4, 6) << 1 | bitOf(b, 5, 6);
    const int coef =
        bitOf(b, 5, 5) << 3 | bitOf(b, 6, 5) << 2 | bitOf(b, 7, 5) << 1 | bitOf(b, 8, 6);
    // An index beyond its list would leave the pick list without a choice.
    const auto check = [&r](int index, int count, const char *what) {
        if (index >= count && r.error.isEmpty())
            r.error = QString::fromUtf8(what) + QStringLiteral(": номер ") +
                      QString::number(index) + QStringLiteral(" вне списка");
    };
    check(pump, TimeSrItems().size(), "время работы насоса");
    check(minT, EngTempItems().size(), "минимальная температура");
    check(maxT, EngTempItems().size(), "максимальная температура");
    check(coef, RecalcCoofItems().size(), "коэффициент пересчета");
    if (!r.error.isEmpty())
        return r;

    TProgrammingParams &p = r.params;
    const TFormatSettings &fs = TFormatSettings::current();
    const double lower = OilFromCode(c(3, 4)), upper = OilFromCode(c(1, 2));
    p.edTMASmin = fs.formatFloat(lower, 2);
    p.edTMASmax = fs.formatFloat(upper, 2);
    p.edTMAS = p.edTMASmax;
    p.tbTMAS = qBound(0, int(std::trunc(upper * 10 + 500)), TmasMax);
    p.cbTimeSr = pump;
    p.cbCanWorkWithEngine = bitOf(b, 7, 6);
    const double battery = BatteryFromCode(c(5, 6));
    p.edAKB = fs.formatFloat(battery, 2);
    p.tbAKB = qBound(0, int(std::trunc(battery * 10)), AkbMax);
    p.cbEngTempMax = maxT;
    p.cbEngTempMin = minT;
    p.cbRecalcCoof = coef;
    p.cbUseHeater2 = bitOf(b, 7, 7);
    r.outcome = TReportOutcome::Ok;
    return r;
}

} // namespace programming
