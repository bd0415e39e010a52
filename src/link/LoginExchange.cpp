#include "link/LoginExchange.h"

#include "link/Framing.h"
#include "link/cryptolib.h"

TLoginExchange::TLoginExchange(const QString &login, const QString &password,
                               const TBytes &challenge)
    : m_login(login), m_K(MD5Bytes(TextToBytes(password))), m_challenge(challenge) {}

TBytes TLoginExchange::hello() const {
    return TextToBytes(QStringLiteral("CE|") + m_login + QLatin1Char('|') +
                       ReplaceAllText(BytesToText(m_challenge), QStringLiteral("|"), LineMarker));
}

bool TLoginExchange::answer(const TBytes &reply, TBytes &line) const {
    if (!reply.startsWith("auth|grb") || reply.size() < 9)
        return false;
    const TBytes rest = reply.mid(9);
    const qsizetype bar = rest.indexOf('|');
    if (bar < 0)
        return false;
    const TBytes f1 = ReplaceFirstBytes(rest.left(bar), LineMarker, QStringLiteral("|"));
    TBytes f2 = rest.mid(bar + 1);
    const qsizetype crlf = f2.indexOf("\r\n");
    if (crlf >= 0)
        f2.truncate(crlf);

    TBytes expected;
    uint8_t pad = 0;
    RC5Bytes(m_challenge, m_K, 32, expected, pad, 1, 16);
    if (!SameBytes(expected, f1))
        return false; // the server does not know the password

    f2 = ReplaceFirstBytes(f2, LineMarker, QStringLiteral("|"));
    TBytes r;
    RC5Bytes(f2, m_K, 32, r, pad, 1, 16);
    r = ReplaceFirstBytes(r, QStringLiteral("|"), LineMarker);
    line = TextToBytes(QStringLiteral("CE|grb|") + m_login + QLatin1Char('|')) + r;
    return true;
}

bool TLoginExchange::sessionKey(const TBytes &reply, TBytes &key) const {
    if (FindBytes(QStringLiteral("auth|yes"), reply) < 0 || reply.size() < 9 + 1 + 2)
        return false;
    TBytes k = reply.mid(9);
    const int p = static_cast<uint8_t>(k[0]) - 48;
    if (p < 0 || p > 7)
        return false;
    k.remove(0, 1);
    k = ReplaceFirstBytes(k, LineMarker, QStringLiteral("|"));
    k.chop(2);
    TBytes plain;
    uint8_t pad = 0;
    if (!k.isEmpty())
        RC5Bytes(k, m_K, 32, plain, pad, -1, 16);
    // No key the cipher cannot use: an empty key leaves lines unencrypted.
    if (p > plain.size() || plain.size() - p > 255)
        return false;
    plain.chop(p);
    key = plain;
    return true;
}

TBytes TLoginExchange::keyOk() const {
    return TextToBytes(QStringLiteral("CE|") + m_login + QStringLiteral("|keyok"));
}
