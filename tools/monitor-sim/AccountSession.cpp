#include "AccountSession.h"

#include "app/Cp1251.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <limits>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {
QString hex(const TBytes &b) {
    return QString::fromLatin1(b.toHex());
}

TBytes randomBytes(int n, int lo, int hi, char avoid = 0) {
    TBytes out;
    while (out.size() < n) {
        const char c = static_cast<char>(lo + QRandomGenerator::global()->bounded(hi - lo + 1));
        if (avoid && c == avoid)
            continue;
        out += c;
    }
    return out;
}

TBytes rc5(const TBytes &data, const TBytes &key, int direction, uint8_t *pad = nullptr) {
    TBytes out;
    uint8_t p = 0;
    RC5Bytes(data, key, 32, out, p, direction, 16);
    if (pad)
        *pad = p;
    return out;
}

// The client unescapes only the first marker, so only the first "|" is escaped; the field
// survives when the result holds no CR LF and the client gets the ciphertext back.
bool escapeFirstBar(const TBytes &cipher, TBytes &escaped) {
    escaped = ReplaceFirstBytes(cipher, QStringLiteral("|"), LineMarker);
    return !escaped.contains("\r\n") &&
           ReplaceFirstBytes(escaped, LineMarker, QStringLiteral("|")) == cipher;
}
} // namespace

TAccountSession::TAccountSession(int id, int fd, const TSessionOptions &options, TLog logger,
                                 TCobjList cobj)
    : m_id(id), m_fd(fd), m_opt(options), m_log(std::move(logger)), m_cobj(std::move(cobj)) {
    log(QStringLiteral("connected"));
}

TAccountSession::~TAccountSession() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void TAccountSession::log(const QString &text) const {
    m_log(QStringLiteral("session %1: %2").arg(m_id).arg(text));
}

void TAccountSession::close(const QString &why) {
    if (m_phase == Phase::Closed)
        return;
    m_phase = Phase::Closed;
    ::shutdown(m_fd, SHUT_RDWR);
    log(QStringLiteral("closed (%1)").arg(why));
}

bool TAccountSession::wantsWrite(double now) const {
    // A split line's second half waits for its time; until then the socket is not polled for it.
    return !m_pendingBatch.isEmpty() || (!m_out.empty() && m_out.front().due <= now);
}

void TAccountSession::onReadable(double now) {
    char buf[65536];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        close(n == 0 ? QStringLiteral("by the client") : QStringLiteral("receive error"));
        return;
    }
    m_in.append(buf, n);
    TBytes line;
    while (m_phase != Phase::Closed && takeLine(line))
        handleLine(line, now);
    if (m_in.size() > TLineCutter::MaxBuffered)
        close(QStringLiteral("line too long"));
}

// Lines from the client end with CR LF, but its ciphertext is not escaped: an encrypted line
// is complete only when its ciphertext is whole blocks, so a CR LF inside it is skipped.
bool TAccountSession::takeLine(TBytes &line) {
    for (qsizetype i = 1; i + 1 < m_in.size(); ++i) {
        if (m_in[i] != '\r' || m_in[i + 1] != '\n')
            continue;
        const bool encrypted = m_phase == Phase::Online && m_in[0] >= '0' && m_in[0] <= '9';
        if (encrypted && (i - 1) % 8 != 0)
            continue;
        line = m_in.left(i + 2);
        m_in.remove(0, i + 2);
        return true;
    }
    return false;
}

void TAccountSession::handleLine(const TBytes &line, double now) {
    switch (m_phase) {
    case Phase::Hello:
        handleHello(line);
        break;
    case Phase::Proof:
        handleProof(line);
        break;
    case Phase::KeyOk:
        handleKeyOk(line, now);
        break;
    case Phase::Online:
        handleOnline(line, now);
        break;
    case Phase::Closed:
        break;
    }
}

void TAccountSession::handleHello(const TBytes &line) {
    // "CE|" login "|" challenge, each "|" of the challenge written as the marker.
    const TBytes body = line.left(line.size() - 2);
    const qsizetype bar = body.indexOf('|', 3);
    if (!body.startsWith("CE|") || bar < 0) {
        log(QStringLiteral("bad hello raw=%1").arg(hex(line)));
        queueRaw("auth|no\r\n", 0);
        m_closeWhenFlushed = true;
        return;
    }
    m_login = BytesToText(body.mid(3, bar - 3));
    const TBytes challenge = TextToBytes(
        ReplaceAllText(BytesToText(body.mid(bar + 1)), LineMarker, QStringLiteral("|")));
    log(QStringLiteral("hello login=%1 raw=%2 challenge=%3")
            .arg(m_login, hex(line), hex(challenge)));
    // Logins travel one byte per character (the low 8 bits), so they are compared as bytes.
    auto account = m_opt.accounts.end();
    for (auto it = m_opt.accounts.begin(); it != m_opt.accounts.end(); ++it)
        if (TextToBytes(it->first) == TextToBytes(m_login))
            account = it;
    if (account == m_opt.accounts.end()) {
        log(QStringLiteral("rejected login=%1: unknown login").arg(m_login));
        queueRaw("auth|no|unknown login\r\n", 0);
        m_closeWhenFlushed = true;
        return;
    }
    m_md5 = MD5Bytes(TextToBytes(account->second));

    TBytes proof = rc5(challenge, m_md5, 1);
    if (m_opt.badProof) {
        proof[0] = static_cast<char>(proof[0] ^ 0x5A);
        log(QStringLiteral("sending a wrong proof"));
    }
    TBytes proofField;
    if (!escapeFirstBar(proof, proofField) || proofField.count('|') > 0)
        log(QStringLiteral("warning: the proof will not cross the line intact"));
    // Our own challenge: no "|" and a ciphertext without CR LF, so the answer arrives whole.
    TBytes answerField;
    do {
        m_f2 = randomBytes(32, 33, 254, '|');
    } while (!escapeFirstBar(rc5(m_f2, m_md5, 1), answerField) || FindBytes(LineMarker, m_f2) >= 0);
    queueRaw(TBytes("auth|grb|") + proofField + '|' + m_f2 + "\r\n", 0);
    m_phase = Phase::Proof;
}

void TAccountSession::handleProof(const TBytes &line) {
    const TBytes prefix = TextToBytes(QStringLiteral("CE|grb|") + m_login + QLatin1Char('|'));
    if (!line.startsWith(prefix)) {
        log(QStringLiteral("rejected login=%1: bad answer raw=%2").arg(m_login, hex(line)));
        queueRaw("auth|no\r\n", 0);
        m_closeWhenFlushed = true;
        return;
    }
    TBytes answer = line.mid(prefix.size());
    answer.chop(2);
    answer = ReplaceFirstBytes(answer, LineMarker, QStringLiteral("|"));
    if (answer != rc5(m_f2, m_md5, 1)) {
        log(QStringLiteral("rejected login=%1: wrong password").arg(m_login));
        queueRaw("auth|no\r\n", 0);
        m_closeWhenFlushed = true;
        return;
    }
    TBytes field;
    uint8_t pad = 0;
    TBytes cipher;
    do {
        m_key = randomBytes(std::max(1, std::min(255, m_opt.keyLength)), 0, 255);
        cipher = rc5(m_key, m_md5, 1, &pad);
    } while (!escapeFirstBar(cipher, field));
    queueRaw(TBytes("auth|yes|") + static_cast<char>('0' + pad) + field + "\r\n", 0);
    m_phase = Phase::KeyOk;
}

void TAccountSession::handleKeyOk(const TBytes &line, double now) {
    if (line != TextToBytes(QStringLiteral("CE|") + m_login + QStringLiteral("|keyok\r\n"))) {
        log(QStringLiteral("rejected login=%1: no keyok raw=%2").arg(m_login, hex(line)));
        close(QStringLiteral("handshake"));
        return;
    }
    m_phase = Phase::Online;
    log(QStringLiteral("authorised login=%1 key=%2").arg(m_login, hex(m_key)));
    m_authAt = now;
    m_nextKeepAlive = m_opt.keepAliveSeconds > 0 ? now + m_opt.keepAliveSeconds
                                                 : std::numeric_limits<double>::infinity();
    if (m_opt.oversize) {
        log(QStringLiteral("sending an oversize line"));
        queueRaw(TBytes(200000, 'x'), now);
    }
    sendServerLine(QStringLiteral("%1|cobj|%2").arg(m_login, m_cobj()), now);
    if (m_opt.garbage)
        sendGarbage(now);
}

void TAccountSession::handleOnline(const TBytes &line, double now) {
    if (line.isEmpty() || line[0] < '0' || line[0] > '9') {
        log(QStringLiteral("unreadable line raw=%1").arg(hex(line)));
        return;
    }
    TBytes plain;
    try {
        const int pad = line[0] - '0';
        plain = rc5(line.mid(1, line.size() - 3), m_key, -1);
        if (pad > 7 || pad > plain.size())
            throw ECryptoError("bad padding");
        plain.chop(pad);
    } catch (const std::exception &) {
        log(QStringLiteral("unreadable line raw=%1").arg(hex(line)));
        return;
    }
    const QList<TBytes> f = plain.split('|');
    if (plain == "0") {
        log(QStringLiteral("keepalive reply raw=%1").arg(hex(line)));
    } else if (f.size() == 6 && f[0] == "c" && f[2] == "s" && f[3] == "s" && f[4] == "cobj" &&
               f[5] == "all") {
        log(QStringLiteral("cobj request login=%1").arg(BytesToText(f[1])));
        sendServerLine(QStringLiteral("%1|cobj|%2").arg(m_login, m_cobj()), now);
    } else if (f.size() >= 6 && f[0] == "c" && f[2] == "o" && f[4] == "cmd") {
        // The command word travels in the client's 8-bit code page.
        log(QStringLiteral("command login=%1 object=%2 word=%3")
                .arg(cp1251::decode(f[1]), cp1251::decode(f[3]),
                     cp1251::decode(plain.mid(plain.indexOf("|cmd|") + 5))));
    } else if (m_opt.devices &&
               m_opt.devices(plain, [&](int o, const TBytes &p) { sendDataLine(o, p, now); })) {
        // a programming command, answered by the object's device
    } else {
        log(QStringLiteral("line plain=%1").arg(hex(plain)));
    }
}

void TAccountSession::queueRaw(const TBytes &bytes, double now) {
    if (m_opt.coalesce && m_phase == Phase::Online) {
        m_pendingBatch += bytes;
        return;
    }
    if (m_opt.splitLines && bytes.size() > 1 && m_phase == Phase::Online) {
        const qsizetype half = bytes.size() / 2;
        m_out.push_back({0, bytes.left(half)});
        m_out.push_back({now + 0.3, bytes.mid(half)});
        return;
    }
    m_out.push_back({0, bytes});
}

void TAccountSession::queueEncrypted(const TBytes &plain, double now) {
    TBytes cipher;
    uint8_t pad = 0;
    RC5Bytes(plain, m_key, 32, cipher, pad, 1, 16);
    TBytes field;
    escapeFirstBar(cipher, field);
    queueRaw(TBytes(1, static_cast<char>('0' + pad)) + field + "\r\n", now);
}

void TAccountSession::sendServerLine(const QString &body, double now) {
    const TBytes rest = TextToBytes(QLatin1Char('|') + body);
    // The first byte is ignored by the client: vary it until the ciphertext travels intact.
    static const char firsts[] = "sabcdefghijklmnopqrtuvwxyz";
    for (char c : std::string_view(firsts)) {
        const TBytes plain = TBytes(1, c) + rest;
        TBytes cipher, field;
        uint8_t pad = 0;
        RC5Bytes(plain, m_key, 32, cipher, pad, 1, 16);
        if (escapeFirstBar(cipher, field)) {
            queueEncrypted(plain, now);
            return;
        }
    }
    log(QStringLiteral("dropped a line that would not cross intact: %1").arg(body));
}

void TAccountSession::sendDataLine(int object, const TBytes &packet, double now) {
    if (!online())
        return;
    const TBytes rest = TextToBytes(QStringLiteral("|%1|data|").arg(object)) + packet;
    static const char firsts[] = "sabcdefghijklmnopqrtuvwxyz";
    for (char c : std::string_view(firsts)) {
        const TBytes plain = TBytes(1, c) + rest;
        TBytes cipher, field;
        uint8_t pad = 0;
        RC5Bytes(plain, m_key, 32, cipher, pad, 1, 16);
        if (escapeFirstBar(cipher, field)) {
            queueEncrypted(plain, now);
            log(QStringLiteral("sent data object=%1 packet=%2").arg(object).arg(hex(packet)));
            return;
        }
    }
    log(QStringLiteral("dropped a packet that would not cross intact"));
}

void TAccountSession::sendKeepAlive(double now) {
    // The client looks at the first byte only; the rest may vary so the ciphertext travels.
    for (int tail = 0; tail < 64; ++tail) {
        TBytes plain(1, static_cast<char>(tail % 2 ? 0xF5 : 0xD5));
        if (tail > 1)
            plain += static_cast<char>('0' + tail);
        TBytes cipher, field;
        uint8_t pad = 0;
        RC5Bytes(plain, m_key, 32, cipher, pad, 1, 16);
        if (escapeFirstBar(cipher, field)) {
            queueEncrypted(plain, now);
            log(QStringLiteral("sent keepalive"));
            return;
        }
    }
}

void TAccountSession::sendGarbage(double now) {
    // A padding digit no envelope can have, and bytes that are no ciphertext at all.
    queueRaw(TBytes("9") + randomBytes(8, 33, 126, '|') + "\r\n", now);
    log(QStringLiteral("sent garbage"));
}

double TAccountSession::onTick(double now) {
    constexpr double never = std::numeric_limits<double>::infinity();
    if (m_phase != Phase::Online)
        return never;
    if (now >= m_nextKeepAlive) {
        sendKeepAlive(now);
        if (m_opt.garbage)
            sendGarbage(now);
        m_nextKeepAlive = now + m_opt.keepAliveSeconds;
    }
    double next = m_nextKeepAlive;
    if (m_opt.reidAfterSeconds >= 0 && !m_reidSent) {
        if (now >= m_authAt + m_opt.reidAfterSeconds) {
            sendServerLine(QStringLiteral("reid"), now);
            log(QStringLiteral("sent reid"));
            m_reidSent = true;
        } else {
            next = std::min(next, m_authAt + m_opt.reidAfterSeconds);
        }
    }
    if (m_opt.closeAfterSeconds >= 0) {
        if (now >= m_authAt + m_opt.closeAfterSeconds) {
            close(QStringLiteral("as asked"));
            return never;
        }
        next = std::min(next, m_authAt + m_opt.closeAfterSeconds);
    }
    for (const Chunk &c : m_out)
        if (c.due > now)
            next = std::min(next, c.due);
    return next;
}

void TAccountSession::onWritable(double now) {
    if (!m_pendingBatch.isEmpty()) {
        m_out.push_back({0, m_pendingBatch});
        m_pendingBatch.clear();
    }
    while (!m_out.empty() && m_out.front().due <= now) {
        TBytes &b = m_out.front().bytes;
        const ssize_t n =
            ::send(m_fd, b.constData(), static_cast<size_t>(b.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n < 0) {
            close(QStringLiteral("send error"));
            return;
        }
        b.remove(0, n);
        if (!b.isEmpty())
            return;
        m_out.pop_front();
    }
    if (m_out.empty() && m_closeWhenFlushed)
        close(QStringLiteral("handshake refused"));
}
