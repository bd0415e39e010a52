#pragma once

#include "link/Bytes.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

// One connection, served by a script on its own thread; every wait is bounded.
class TScriptedPeer {
public:
    using TScript = std::function<void(TScriptedPeer &)>;

    explicit TScriptedPeer(TScript script) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        ::listen(m_listen, 1);
        socklen_t len = sizeof sa;
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&sa), &len);
        m_port = ntohs(sa.sin_port);
        m_thread = std::thread([this, script] {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 5000) != 1)
                return;
            m_fd = ::accept(m_listen, nullptr, nullptr);
            script(*this);
        });
    }
    ~TScriptedPeer() {
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
        ::close(m_listen);
    }
    QString port() const { return QString::number(m_port); }

    TBytes readLine() {
        TBytes line;
        while (!line.endsWith("\r\n") && line.size() < 1000) {
            pollfd p{m_fd, POLLIN, 0};
            char c;
            if (::poll(&p, 1, 5000) != 1 || ::recv(m_fd, &c, 1, 0) != 1)
                break;
            line += c;
        }
        return line;
    }
    void send(const TBytes &b) { ::send(m_fd, b.constData(), b.size(), MSG_NOSIGNAL); }
    // Waits until the client goes away (bounded).
    void drain() {
        char buf[256];
        for (int i = 0; i < 50; ++i) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) == 1 && ::recv(m_fd, buf, sizeof buf, 0) <= 0)
                return;
        }
    }

    // The honest first half: read the hello, prove the password "pw", challenge the client.
    TBytes K = MD5Bytes("pw");
    void proveAndReadAnswer() {
        const TBytes hello = readLine();
        const TBytes challenge = TextToBytes(ReplaceAllText(
            BytesToText(hello.mid(hello.indexOf('|', 3) + 1).chopped(2)), LineMarker, "|"));
        TBytes proof;
        uint8_t pad = 0;
        RC5Bytes(challenge, K, 32, proof, pad, 1, 16);
        send("auth|grb|" + ReplaceFirstBytes(proof, "|", LineMarker) + "|ABCDEFGH\r\n");
        readLine();
    }
    // The rest of an honest login: the session key under the password's digest. False when
    // the client does not confirm it.
    bool sendKeyAndConfirm(const TBytes &key) {
        TBytes field;
        uint8_t pad = 0;
        RC5Bytes(key, K, 32, field, pad, 1, 16);
        send("auth|yes|" + TBytes(1, char('0' + pad)) + ReplaceFirstBytes(field, "|", LineMarker) +
             "\r\n");
        return readLine() == "CE|demo|keyok\r\n";
    }

private:
    int m_listen = -1;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};
