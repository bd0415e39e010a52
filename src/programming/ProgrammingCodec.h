#pragma once

// The bytes of device programming: the command lines the client sends, the four connection
// blocks, the equipment packet, and the two reports a device sends back (form 3: the
// connection blocks; form 1: the equipment parameters). Pure functions of the window's record.

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include "programming/ProgrammingParams.h"

namespace programming {

// The command letters; each travels as the low 8 bits of its code ("о" is 0x3E).
inline constexpr char16_t kCmdEnterProgramming = u'о';  // "о" + n
inline constexpr char16_t kCmdReadyForBlocks = u'п';    // "п" + n
inline constexpr char16_t kCmdWrite = u'р';             // "р" + N + block or packet
inline constexpr char16_t kCmdEnterEquipment = u'с';    // "с" + n
inline constexpr char16_t kCmdReadyForEquipment = u'т'; // "т" + N
inline constexpr char16_t kCmdRequestForm3 = u'у';      // "у" + n
inline constexpr char16_t kCmdRequestForm1 = u'ф';      // "ф" + n

// The object number as it goes into the numbered commands: ten digits, zeros in front.
QString PaddedNumber(int n);
// letter + n as decimal digits.
QByteArray ShortCommand(char16_t letter, int n);
// letter + the ten digits of n + tail (the tail's bytes unchanged).
QByteArray NumberedCommand(char16_t letter, int n, const QByteArray &tail = {});

// The connection blocks; Block2 and the packet throw EProgrammingError for a field that cannot
// be converted (nothing is to be sent then).
QByteArray Block1(const TProgrammingParams &p);
QByteArray Block2(const TProgrammingParams &p);
QByteArray Block3(const TProgrammingParams &p);
QByteArray Block4(const TProgrammingParams &p);
constexpr int Block2Size = 43;
// Ten digits, two per byte, the earlier one in the high nibble.
QByteArray PackPhone(const QString &digits, int number);

// The bits of the blocks' flag bytes.
namespace flagA {
constexpr unsigned char Base = 0x80, UseDns = 0x08, RewriteIp = 0x04, OwnPrefix = 0x02,
                        NoGps = 0x01;
}
namespace flagB {
constexpr unsigned char Base = 0x80, HasIp = 0x40, AuthShift = 3, PrefServShift = 2;
}
constexpr unsigned char kAlarmNumberMark = 0x10; // block 2: "тревога/сервисный"

// The equipment packet (15 bytes).
QByteArray EquipmentPacket(const TProgrammingParams &p);
constexpr int EquipmentPacketSize = 15;
namespace equip {
constexpr unsigned char CanWorkWithEngine = 0x40, UseHeater2 = 0x80; // byte 12
constexpr unsigned char ProgCanWorkWithEngine = 0x10, ProgramParam = 0x08,
                        ProgramTime = 0x04; // byte 13
} // namespace equip
// The 10-bit codes of the thresholds and their values back (degrees Celsius, volts).
int OilCode(double celsius);
int BatteryCode(double volts);
double OilFromCode(int code);
double BatteryFromCode(int code);
// Bytes 1..13 folded into the check byte 14.
unsigned char PacketCheckByte(const QByteArray &packet);
// The log's lines for bytes: two upper-case hexadecimal digits each.
QStringList HexLines(const QByteArray &bytes);

// ---- reports

enum class TReportOutcome {
    Ok,
    BadLength, // form 3: fewer bytes than its length says
    BadContent // the report cannot be taken apart; error holds why
};

// A form-3 report (first byte 7): one connection block as the device holds it.
struct TForm3Report {
    TReportOutcome outcome = TReportOutcome::BadContent;
    char block = 0;            // '1'..'4'
    QByteArray data;           // the decoded data bytes
    QString error;             // BadContent
    TProgrammingParams params; // the fields given, with those of the block taken from it
};
TForm3Report DecodeForm3(const QByteArray &payload, const TProgrammingParams &current);
constexpr unsigned char Form3Marker = 7;

// A form-1 report (first byte 0xDF): the equipment parameters.
struct TForm1Report {
    TReportOutcome outcome = TReportOutcome::BadContent;
    QString error;
    TProgrammingParams params;
};
TForm1Report DecodeForm1(const QByteArray &payload, const TProgrammingParams &current);
constexpr unsigned char Form1Marker = 0xDF;
constexpr int Form1MinSize = 9;

} // namespace programming
