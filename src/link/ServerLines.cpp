#include "link/ServerLines.h"

#include "link/Bytes.h"

namespace {
// Characters 5 and 6 of the status signatures, in the order they are tested.
const char *const kSignatureTails[] = {"*\x07", "AA", "QQ", "MM", "HH", "55", "ZZ", "A4",
                                       "A2",    "A0", "A1", "A3", "A5", "A6", "A7", "A8"};

QByteArray afterLastBar(const QByteArray &line) {
    return line.mid(line.lastIndexOf('|') + 1);
}
} // namespace

TServerLine ParseServerLine(const QByteArray &M) {
    TServerLine r;
    if (FindBytes(QStringLiteral("cobj"), M) >= 0) {
        r.kind = TServerLineKind::ObjectList;
        const QByteArray rest = afterLastBar(M);
        if (rest == "null")
            return r;
        const QByteArray items = rest + ',';
        int start = 0;
        for (int comma = items.indexOf(',', start); comma >= 0;
             start = comma + 1, comma = items.indexOf(',', start))
            r.objects.push_back(DecimalBytesToInt(items.mid(start, comma - start)));
    } else if (FindBytes(QStringLiteral("cnev"), M) >= 0) {
        r.kind = TServerLineKind::ConnectionEvent;
        const QByteArray body = M.mid(2);
        r.numberText = body.left(body.indexOf('|'));
        r.number = DecimalBytesToInt(r.numberText);
        const QByteArray last = afterLastBar(M);
        if (!last.isEmpty() && (last.at(0) == 'c' || last.at(0) == 'd'))
            r.event = last.at(0);
    } else if (FindBytes(QStringLiteral("data"), M) >= 0) {
        r.kind = TServerLineKind::ObjectData;
        const QByteArray body = M.mid(2);
        const int bar = body.indexOf('|');
        const int dataAt = M.indexOf("data|");
        r.numberText = bar > 0 ? body.left(bar) : body;
        if (bar > 0)
            r.number = DecimalBytesToInt(body.left(bar));
        r.malformed = bar <= 0 || dataAt < 0;
        if (dataAt >= 0)
            r.payload = M.mid(dataAt + 5);
    }
    return r;
}

QByteArray ProgrammingSignature(TProgrammingStatus status) {
    QByteArray s;
    s.append(char(0x08));
    s.append(char(kProgrammingSignatureByte));
    s.append("CR");
    s.append(kSignatureTails[static_cast<int>(status)], 2);
    s.append('?');
    return s;
}

TPayload ClassifyPayload(const QByteArray &P) {
    if (P.isEmpty())
        return {};
    const unsigned char first = static_cast<unsigned char>(P.at(0));
    if (first == 7)
        return {TPayloadKind::ProgrammedParameters3};
    if (first == 0xDF)
        return {TPayloadKind::ProgrammedParameters1};
    for (int s = 0; s <= static_cast<int>(TProgrammingStatus::WhenParamError); ++s) {
        const auto status = static_cast<TProgrammingStatus>(s);
        if (P.contains(ProgrammingSignature(status)))
            return {TPayloadKind::Programming, status};
    }
    if (first == 0x08)
        return {TPayloadKind::Online};
    return {};
}

QString ObjectCommandWord(int code) {
    static const char *const words[] = {"lock",    "unlock", "lock2",   "unlock2",  "lock3",
                                        "unlock3", "lock4",  "unlock4", "configure"};
    if (code < 2 || code > 10)
        return {};
    return QString::fromLatin1(words[code - 2]);
}

QString ObjectCommandLine(const QString &login, const QString &objectNumber, int code) {
    return QStringLiteral("c|%1|o|%2|cmd|%3").arg(login, objectNumber, ObjectCommandWord(code));
}

QString ConnectedObjectsRequest(const QString &login) {
    return QStringLiteral("c|") + login + QStringLiteral("|s|s|cobj|all");
}
