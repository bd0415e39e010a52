#include "link/Framing.h"

#include "link/cryptolib.h"

bool TLineCutter::append(const char *data, qsizetype size) {
    m_buffer.append(data, size);
    return m_buffer.size() <= MaxBuffered;
}

std::vector<TBytes> TLineCutter::takeLines() {
    std::vector<TBytes> lines;
    qsizetype from = 0;
    // FindLineEnd's rule (no line end at index 0) applied to the unconsumed tail.
    for (;;) {
        qsizetype end = -1;
        for (qsizetype i = from + 1; i + 1 < m_buffer.size(); ++i)
            if (m_buffer[i] == '\r' && m_buffer[i + 1] == '\n') {
                end = i;
                break;
            }
        if (end < 0)
            break;
        lines.push_back(m_buffer.mid(from, end + 2 - from));
        from = end + 2;
    }
    if (from > 0)
        m_buffer.remove(0, from);
    return lines;
}

TBytes EncryptEnvelope(const TBytes &plain, const TBytes &key) {
    if (key.isEmpty())
        return plain;
    TBytes cipher;
    uint8_t pad = 0;
    RC5Bytes(plain, key, 32, cipher, pad, 1, 16);
    return TBytes(1, static_cast<char>('0' + pad)) + cipher;
}

TBytes FrameLine(const TBytes &arr, bool encrypt, const TBytes &key) {
    if (encrypt && !key.isEmpty())
        return EncryptEnvelope(arr, key) + "\r\n";
    if (arr.endsWith("\r\n"))
        return arr;
    return arr + "\r\n";
}

TBytes DecryptEnvelope(const TBytes &line, const TBytes &key) {
    TBytes rest = line;
    if (key.isEmpty()) {
        if (rest.endsWith("\r\n"))
            rest.chop(2);
        return rest;
    }
    int pad = 0;
    if (!rest.isEmpty() && rest[0] >= '0' && rest[0] <= '9') {
        pad = rest[0] - '0';
        rest.remove(0, 1);
    }
    if (rest.size() > 2)
        rest.chop(2);
    rest = ReplaceFirstBytes(rest, LineMarker, QStringLiteral("|"));
    TBytes plain;
    uint8_t added = 0;
    RC5Bytes(rest, key, 32, plain, added, -1, 16);
    if (pad > 7 || pad > plain.size())
        throw ELineError("Invalid padding count of an encrypted line");
    plain.chop(pad);
    return plain;
}
