#include "link/cryptolib.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

TBytes MD5Bytes(const TBytes &data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

namespace {

template <typename W> constexpr W magicP();
template <typename W> constexpr W magicQ();
template <> constexpr uint8_t magicP<uint8_t>() {
    return 0xB7;
}
template <> constexpr uint8_t magicQ<uint8_t>() {
    return 0x9F;
}
template <> constexpr uint16_t magicP<uint16_t>() {
    return 0xB7E1;
}
template <> constexpr uint16_t magicQ<uint16_t>() {
    return 0x9E37;
}
template <> constexpr uint32_t magicP<uint32_t>() {
    return 0xB7E15163u;
}
template <> constexpr uint32_t magicQ<uint32_t>() {
    return 0x9E3779B9u;
}

template <typename W> W rotl(W x, unsigned s) {
    constexpr unsigned bits = sizeof(W) * 8;
    s %= bits;
    return s == 0 ? x : static_cast<W>((x << s) | (x >> (bits - s)));
}

template <typename W> W rotr(W x, unsigned s) {
    constexpr unsigned bits = sizeof(W) * 8;
    s %= bits;
    return s == 0 ? x : static_cast<W>((x >> s) | (x << (bits - s)));
}

// Little-endian words; a short last word is completed with zero bytes.
template <typename W> std::vector<W> toWords(const TBytes &bytes) {
    constexpr qsizetype u = sizeof(W);
    std::vector<W> words(static_cast<size_t>((bytes.size() + u - 1) / u), 0);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        words[static_cast<size_t>(i / u)] |=
            static_cast<W>(static_cast<W>(static_cast<uint8_t>(bytes[i])) << (8 * (i % u)));
    return words;
}

template <typename W>
void rc5(const TBytes &data, const TBytes &key, TBytes &result, uint8_t &padCount, bool encrypt,
         int rounds) {
    constexpr qsizetype u = sizeof(W);
    std::vector<W> words = toWords<W>(data);
    if (words.size() % 2)
        words.push_back(0);
    padCount = static_cast<uint8_t>(static_cast<qsizetype>(words.size()) * u - data.size());

    const size_t t = 2 * static_cast<size_t>(rounds) + 2;
    std::vector<W> S(t);
    S[0] = magicP<W>();
    for (size_t i = 1; i < t; ++i)
        S[i] = static_cast<W>(S[i - 1] + magicQ<W>());
    std::vector<W> L = toWords<W>(key);
    const size_t c = L.size();
    W A = 0, B = 0;
    for (size_t k = 0, i = 0, j = 0; k < 3 * std::max(t, c); ++k) {
        A = S[i] = rotl<W>(static_cast<W>(S[i] + A + B), 3);
        B = L[j] = rotl<W>(static_cast<W>(L[j] + A + B), static_cast<unsigned>(A + B));
        i = (i + 1) % t;
        j = (j + 1) % c;
    }

    for (size_t blk = 0; blk < words.size(); blk += 2) {
        W a = words[blk], b = words[blk + 1];
        if (encrypt) {
            a = static_cast<W>(a + S[0]);
            b = static_cast<W>(b + S[1]);
            for (int r = 1; r <= rounds; ++r) {
                a = static_cast<W>(rotl<W>(a ^ b, b) + S[2 * r]);
                b = static_cast<W>(rotl<W>(b ^ a, a) + S[2 * r + 1]);
            }
        } else {
            for (int r = rounds; r >= 1; --r) {
                b = static_cast<W>(rotr<W>(static_cast<W>(b - S[2 * r + 1]), a) ^ a);
                a = static_cast<W>(rotr<W>(static_cast<W>(a - S[2 * r]), b) ^ b);
            }
            b = static_cast<W>(b - S[1]);
            a = static_cast<W>(a - S[0]);
        }
        words[blk] = a;
        words[blk + 1] = b;
    }

    result.resize(static_cast<qsizetype>(words.size()) * u);
    for (qsizetype i = 0; i < result.size(); ++i)
        result[i] = static_cast<char>((words[static_cast<size_t>(i / u)] >> (8 * (i % u))) & 0xFF);
}

} // namespace

void RC5Bytes(const TBytes &data, const TBytes &key, int wordSize, TBytes &result,
              uint8_t &padCount, int direction, int rounds) {
    if (wordSize != 8 && wordSize != 16 && wordSize != 32)
        throw ECryptoError(QStringLiteral("The size of word RC5 has the incorrect size: %1")
                               .arg(wordSize)
                               .toStdString());
    if (key.size() > 255)
        throw ECryptoError("The length of a key should not exceed 255 bytes");
    // An empty key has no words to mix into the schedule.
    if (key.isEmpty())
        throw ECryptoError("The length of a key should not be zero");
    if (rounds < 0 || rounds > 255)
        throw ECryptoError(QStringLiteral("The number of rounds of RC5 is incorrect: %1")
                               .arg(rounds)
                               .toStdString());
    const bool encrypt = direction >= 1;
    switch (wordSize) {
    case 8:
        rc5<uint8_t>(data, key, result, padCount, encrypt, rounds);
        break;
    case 16:
        rc5<uint16_t>(data, key, result, padCount, encrypt, rounds);
        break;
    default:
        rc5<uint32_t>(data, key, result, padCount, encrypt, rounds);
        break;
    }
}

QString ReplaceAllText(const QString &text, const QString &pattern, const QString &replacement) {
    if (pattern.isEmpty())
        return text;
    QString out;
    qsizetype from = 0;
    for (;;) {
        const qsizetype i = text.indexOf(pattern, from);
        if (i < 0)
            break;
        out += QStringView(text).mid(from, i - from);
        out += replacement;
        from = i + pattern.size();
    }
    out += QStringView(text).mid(from);
    return out;
}

QString RandomText(int count, int lo, int hi) {
    QString out;
    out.reserve(std::max(count, 0));
    const int span = hi - lo;
    for (int i = 0; i < count; ++i) {
        const int r = span > 0 ? static_cast<int>(QRandomGenerator::system()->bounded(span)) : 0;
        out += QChar(static_cast<char16_t>(lo + r));
    }
    return out;
}
