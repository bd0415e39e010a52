#include "programming/ProgrammingParams.h"

#include "app/FormatSettings.h"

namespace programming {

namespace {
QStringList numbers(int from, int to, int step) {
    QStringList l;
    for (int v = from; v <= to; v += step)
        l << QString::number(v);
    return l;
}
} // namespace

QStringList TimeSrItems() {
    return numbers(6, 30, 2);
}

QStringList EngTempItems() {
    return numbers(40, 80, 2);
}

QStringList RecalcCoofItems() {
    QStringList l;
    for (int i = 1; i <= 9; ++i)
        l << QStringLiteral("0,") + QString::number(i);
    l << QStringLiteral("1");
    return l;
}

QStringList PrefixItems() {
    return {QStringLiteral("8"), QStringLiteral("+7")};
}

QStringList BearerItems() {
    return {QStringLiteral("Circuit Switched dial-up. (Not supported)"),
            QStringLiteral("Packet Domain service"), QStringLiteral("Bluetooth (Not supported)"),
            QStringLiteral("SMS (Not supported)")};
}

QStringList PrefServItems() {
    return {QStringLiteral("Automatic"),
            QStringLiteral("Packet Domain Service only (Not supported)")};
}

QStringList PapChapItems() {
    return {QStringLiteral("Normal: Only PAP allowed"),
            QStringLiteral("Secure: Only CHAP allowed (Not supported)"),
            QStringLiteral("None: No authentication scheme is used")};
}

QString FloatText(double value) {
    QString s = QString::number(value, 'g', 15);
    const QChar sep = TFormatSettings::current().decimalSeparator;
    if (sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

bool ParseFloat(const QString &text, double &value) {
    // The texts are shown in the locale's form, but a file may come from another workstation.
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    TFormatSettings dot;
    dot.decimalSeparator = QLatin1Char('.');
    return dot.tryParseFloat(t, value);
}

// Tenths as integers, so that 227 shows "22,7" and not the nearest binary neighbour's digits.
QString AkbText(int position) {
    return FloatText(position / 10.0);
}

QString TmasText(int position) {
    return FloatText((position - 500) / 10.0);
}

void ApplyDefaults(TProgrammingParams &p) {
    SetAkbPosition(p, 227);
    p.edTMASmin = QStringLiteral("25");
    p.edTMASmax = QStringLiteral("30");
    p.tbTMAS = 800;
    p.edTMAS = p.edTMASmax;
    p.cbTimeSr = 4;
    p.cbEngTempMin = 5;
    p.cbEngTempMax = 12;
    p.cbRecalcCoof = 4;
    p.cbUseHeater2 = false;
    p.cbCanWorkWithEngine = false;
}

void SetAkbPosition(TProgrammingParams &p, int position) {
    p.tbAKB = qBound(0, position, AkbMax);
    p.edAKB = AkbText(p.tbAKB);
}

void SetTmasPosition(TProgrammingParams &p, int position) {
    p.tbTMAS = qBound(0, position, TmasMax);
    p.edTMAS = TmasText(p.tbTMAS);
}

bool RememberTmas(TProgrammingParams &p) {
    if (p.edTMASmin.isEmpty()) {
        p.edTMASmin = p.edTMAS;
        return true;
    }
    double shown = 0, lower = 0;
    if (ParseFloat(p.edTMAS, shown) && ParseFloat(p.edTMASmin, lower) && shown < lower)
        return false;
    p.edTMASmax = p.edTMAS;
    return true;
}

void ResetTmas(TProgrammingParams &p) {
    p.edTMAS = QStringLiteral("-50");
    p.edTMASmin.clear();
    p.edTMASmax.clear();
    p.tbTMAS = 0;
}

void SetDate(TProgrammingParams &p, const QDate &d) {
    p.seDay = d.day();
    p.seMonth = d.month();
    p.seYear = d.year();
}

void SetDateTime(TProgrammingParams &p, const QDateTime &t) {
    SetDate(p, t.date());
    p.seHour = t.time().hour();
    p.seMin = t.time().minute();
}

} // namespace programming
