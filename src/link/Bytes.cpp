#include "link/Bytes.h"

#include <cstdint>

namespace {
inline char low8(QChar c) {
    return static_cast<char>(c.unicode() & 0xFF);
}
} // namespace

int FindBytes(const QString &pattern, const TBytes &bytes) {
    if (pattern.isEmpty())
        return -1;
    return static_cast<int>(bytes.indexOf(TextToBytes(pattern)));
}

QString BytesToText(const TBytes &bytes) {
    // Latin-1 is exactly "byte b is the character with code b".
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

TBytes TextToBytes(const QString &text) {
    TBytes out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = low8(text[i]);
    return out;
}

bool SameTextBytes(const QString &text, const TBytes &bytes) {
    if (text.size() != bytes.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (low8(text[i]) != bytes[i])
            return false;
    return true;
}

bool SameBytes(const TBytes &a, const TBytes &b) {
    return a == b;
}

TBytes ConcatBytes(const TBytes &a, const TBytes &b) {
    return a + b;
}

TBytes ReplaceFirstBytes(const TBytes &bytes, const QString &pattern, const QString &replacement) {
    const int i = FindBytes(pattern, bytes);
    if (i < 0)
        return bytes;
    return bytes.left(i) + TextToBytes(replacement) + bytes.mid(i + pattern.size());
}

int DecimalBytesToInt(const TBytes &bytes) {
    uint32_t v = 0;
    for (char c : bytes)
        v = v * 10u + static_cast<uint32_t>(static_cast<uint8_t>(c)) - 48u;
    return static_cast<int>(v);
}

int FindLineEnd(const TBytes &bytes) {
    for (qsizetype i = 1; i + 1 < bytes.size(); ++i)
        if (bytes[i] == '\r' && bytes[i + 1] == '\n')
            return static_cast<int>(i);
    return 0;
}
