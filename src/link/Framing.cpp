#include "link/Framing.h"

#include "link/cryptolib.h"

#include <algorithm>
#include <cstring>

namespace {
const char kMarker[] = "!(@_@)!";
constexpr qsizetype kMarkerSize = 7;
} // namespace

bool TLineCutter::append(const char *data, qsizetype size) {
    m_buffer.append(data, size);
    return m_buffer.size() <= MaxBuffered;
}

void TLineCutter::clear() {
    m_buffer.clear();
    m_scan = 1;
    m_markerScan = 1;
    m_marker = -1;
}

bool TLineCutter::endsLine(qsizetype from, qsizetype cr) {
    const char digit = m_buffer[from];
    if (!m_envelopes || digit < '0' || digit > '7')
        return true;
    // The ciphertext between the digit and this CR LF; the receiver turns its first line marker
    // back into one byte before decrypting.
    for (; m_marker < 0 && m_markerScan + kMarkerSize <= cr; ++m_markerScan)
        if (memcmp(m_buffer.constData() + m_markerScan, kMarker, kMarkerSize) == 0)
            m_marker = m_markerScan;
    qsizetype length = cr - from - 1;
    if (m_marker >= 0)
        length -= kMarkerSize - 1;
    // Every line of the server carries a plaintext, so at least one block.
    return length >= 8 && length % 8 == 0;
}

std::vector<TBytes> TLineCutter::takeLines() {
    std::vector<TBytes> lines;
    qsizetype from = 0; // where the line being cut starts
    // FindLineEnd's rule: no line end at the line's first byte.
    for (qsizetype i = std::max<qsizetype>(m_scan, 1); i + 1 < m_buffer.size(); ++i) {
        if (m_buffer[i] != '\r' || m_buffer[i + 1] != '\n' || !endsLine(from, i))
            continue;
        lines.push_back(m_buffer.mid(from, i + 2 - from));
        from = i + 2;
        m_markerScan = from + 1;
        m_marker = -1;
        i = from; // the loop goes on at the new line's second byte
    }
    m_buffer.remove(0, from);
    m_markerScan -= from;
    if (m_marker >= 0)
        m_marker -= from;
    // A CR at the end may still get its LF.
    m_scan = std::max<qsizetype>(m_buffer.size() - 1, 1);
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
