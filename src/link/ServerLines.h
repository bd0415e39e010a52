#pragma once

// The forms of the lines the monitoring server sends and of the object commands the client
// sends, taken apart and put together without any state: the connected-objects list ("cobj"),
// connection events ("cnev"), object data ("data") and the device-programming signatures.

#include <QByteArray>
#include <QString>

#include <vector>

enum class TServerLineKind { Other, ObjectList, ConnectionEvent, ObjectData };

// One server line. The keywords are found anywhere in the line, tested in the order
// "cobj", "cnev", "data".
struct TServerLine {
    TServerLineKind kind = TServerLineKind::Other;
    // ObjectList: the numbers after the last "|" ("null" gives none).
    std::vector<int> objects;
    // ConnectionEvent and ObjectData: the number between the first two characters and the next
    // "|" (0 when there is none), and that text as received.
    int number = 0;
    QByteArray numberText;
    // ConnectionEvent: the first character after the last "|" ('c' connected, 'd' disconnected,
    // 0 for anything else).
    char event = 0;
    // ObjectData: what follows "data|" (empty without it).
    QByteArray payload;
    // ObjectData without a number or without "data|": the line cannot be processed as data.
    bool malformed = false;
};

TServerLine ParseServerLine(const QByteArray &line);

// The notifications of the device-programming dialogue, in the order their status signatures
// are tested.
enum class TProgrammingStatus {
    WhenObjInProgramming,
    WhenObjReadyForFirstBlock,
    WhenObjReadyForSecondBlock,
    WhenObjReadyForThirdBlock,
    WhenObjReadyForFourthBlock,
    WhenObjProgOk,
    WhenObjProgError,
    WhenNoCan,
    WhenObjTimeOut,
    WhenObjInProgrammingEquip,
    WhenObjReadyForProgEquip,
    WhenServDataError,
    WhenAllParamOk,
    WhenTimeOk,
    WhenParamOk,
    WhenParamError,
};

// The second byte of every programming status signature.
constexpr unsigned char kProgrammingSignatureByte = 0x20;
// The status signature of a notification (7 bytes).
QByteArray ProgrammingSignature(TProgrammingStatus status);

// What an object's data payload is, tested in this order: programmed parameters of form 3
// (first byte 7) and form 1 (first byte 0xDF), a programming status signature anywhere in the
// payload, an on-line data packet (first byte 0x08), anything else.
enum class TPayloadKind { None, ProgrammedParameters3, ProgrammedParameters1, Programming, Online };
struct TPayload {
    TPayloadKind kind = TPayloadKind::None;
    TProgrammingStatus status = TProgrammingStatus::WhenObjInProgramming; // for Programming
};
TPayload ClassifyPayload(const QByteArray &payload);

// The command words by code (2..10); empty for an unknown code.
QString ObjectCommandWord(int code);
// The command line for an object: "c|<login>|o|<number>|cmd|<word>".
QString ObjectCommandLine(const QString &login, const QString &objectNumber, int code);
// The request for the list of connected objects.
QString ConnectedObjectsRequest(const QString &login);
