#pragma once

// What the programming window shows and edits: the communication parameters written into an
// object's device in four blocks, and the equipment parameters written in one packet. Field
// names are the window's control names; the window only shows this record and the session
// logic reads and fills it.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <stdexcept>

// A field that cannot be turned into the bytes it stands for, or a report that cannot be
// taken apart; the text says what was wrong.
class EProgrammingError : public std::runtime_error {
public:
    explicit EProgrammingError(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const { return m_text; }

private:
    QString m_text;
};

// One SIM card's settings.
struct TSimSettings {
    QString InitStr;        // "Строка инициализации"
    QString Login;          // "Логин"
    QString Pass;           // "Пароль"
    QString Ussd;           // "Номер получения баланса"
    bool UseBalance = true; // "используется"

    bool operator==(const TSimSettings &) const = default;
};

struct TProgrammingParams {
    // ---- "Параметры связи"
    QString IPEdit = QStringLiteral("000.000.000.000");
    QString PortEdit = QStringLiteral("00000");
    QString IDEdit = QStringLiteral("0001");
    std::array<TSimSettings, 3> sim;
    QString edDNS;
    QString PrefixComboBox = QStringLiteral("8"); // "8" or "+7"
    bool UseCustomPrefix = false;
    QString CustomPrefixEdit;
    bool cbUseDNS = false;
    bool cbRewriteIP = false;
    bool cbUseIP = false;
    std::array<QString, 5> PhoneNum = {QStringLiteral("9000000000"), QStringLiteral("9000000000"),
                                       QStringLiteral("9000000000"), QStringLiteral("9000000000"),
                                       QStringLiteral("9000000000")};
    std::array<bool, 5> trs = {false, false, false, false, false}; // "тревога/сервисный"
    QString SMSPassEdit = QStringLiteral("7QX4K2M9");
    bool gpsPresent = true; // "присутствует" (GPSRadioButton), else "отсутствует"
    // Settings the window does not show.
    int BearerComboBox = 1;   // "Packet Domain service"
    int PrefServComboBox = 0; // "Automatic"
    int PapChapComboBox = 2;  // "None: No authentication scheme is used"
    QString coordFilter;      // the coordinate filter a device reports (block 1)

    // ---- "Параметры оборудования"
    int tbAKB = 227; // 0..360, tenths of a volt
    QString edAKB = QStringLiteral("22,7");
    int tbTMAS = 800; // 0..1700, tenths of a degree above -50
    QString edTMAS = QStringLiteral("30");
    QString edTMASmin = QStringLiteral("25");
    QString edTMASmax = QStringLiteral("30");
    int cbTimeSr = 4;      // "14" minutes
    int cbEngTempMin = 5;  // "50"
    int cbEngTempMax = 12; // "64"
    int cbRecalcCoof = 4;  // "0,5"
    int seDay = 1, seMonth = 1, seYear = 2000, seHour = 0, seMin = 0;
    bool cbTakeSysTime = true;
    bool cbCanWorkWithEngine = false;
    bool cbProgramParam = true;
    bool cbProgramTime = true;
    bool cbUseHeater2 = false;
    bool cbProgCanWorkWithEngine = true; // hidden, always checked

    bool operator==(const TProgrammingParams &) const = default;
};

namespace programming {

// The pick lists' items.
QStringList TimeSrItems();     // "6", "8", ... "30"
QStringList EngTempItems();    // "40", "42", ... "80"
QStringList RecalcCoofItems(); // "0,1" ... "0,9", "1"
QStringList PrefixItems();     // "8", "+7"
QStringList BearerItems();
QStringList PrefServItems();
QStringList PapChapItems();

// The track bars' ranges and their texts.
constexpr int AkbMax = 360;
constexpr int TmasMax = 1700;
QString AkbText(int position);  // position x 0.1
QString TmasText(int position); // position x 0.1 - 50

// A number as the platform shows it: the shortest form, the locale's decimal separator.
QString FloatText(double value);
// A number typed or shown in a field ("," or "."); false when the text is none.
bool ParseFloat(const QString &text, double &value);

// "По умолчанию" (also the state of a fresh window): the equipment values only.
void ApplyDefaults(TProgrammingParams &p);

// The track bars moved: the position and the text it shows.
void SetAkbPosition(TProgrammingParams &p, int position);
void SetTmasPosition(TProgrammingParams &p, int position);

// "Запомнить" of the oil-temperature range: the lower field first, then the upper one; false
// when the shown temperature lies below the lower one (nothing changes).
bool RememberTmas(TProgrammingParams &p);
// "Сброс".
void ResetTmas(TProgrammingParams &p);

// The date fields take the day of t; with the time as well, the hour and minute too.
void SetDate(TProgrammingParams &p, const QDate &d);
void SetDateTime(TProgrammingParams &p, const QDateTime &t);

} // namespace programming
