// Handshake replies no correct server sends, from a scripted peer on loopback: the client must
// fail the handshake (or, for an empty session key, carry on unencrypted), never crash.
#include "SimProcess.h"

#include "app/Dialogs.h"
#include "link/ClientSock.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

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

private:
    int m_listen = -1;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

} // namespace

TEST(HandshakeScript, MalformedRepliesFailTheHandshake) {
    const struct {
        const char *name;
        TScriptedPeer::TScript script;
    } cases[] = {
        {"first reply too short",
         [](TScriptedPeer &p) {
             p.readLine();
             p.send("auth|grb\r\n");
         }},
        {"no second field",
         [](TScriptedPeer &p) {
             p.readLine();
             p.send("auth|grb|0123456789\r\n");
         }},
        {"endless first reply",
         [](TScriptedPeer &p) {
             p.readLine();
             p.send("auth|grb|" + TBytes(140000, 'x'));
         }},
        {"refusal after the proof",
         [](TScriptedPeer &p) {
             p.proveAndReadAnswer();
             p.send("auth|no\r\n");
         }},
        {"key reply too short",
         [](TScriptedPeer &p) {
             p.proveAndReadAnswer();
             p.send("auth|yes\r\n");
         }},
        {"key padding digit out of range",
         [](TScriptedPeer &p) {
             p.proveAndReadAnswer();
             p.send("auth|yes|9ABCDEFGH\r\n");
         }},
        {"key longer than the cipher takes",
         [](TScriptedPeer &p) {
             p.proveAndReadAnswer();
             p.send("auth|yes|0" + TBytes(264, 'A') + "\r\n");
         }},
        {"key padding larger than the key",
         [](TScriptedPeer &p) {
             p.proveAndReadAnswer();
             p.send("auth|yes|7\r\n");
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TScriptedPeer peer([&](TScriptedPeer &p) {
            c.script(p);
            p.drain();
        });
        std::vector<std::pair<uint8_t, TErrors>> states;
        std::unique_ptr<TClientThread> client;
        client = std::make_unique<TClientThread>(
            [] {},
            [&] {
                states.emplace_back(client->getState(), client->getError());
                if (client->getState() == 255)
                    client->Disconnect();
            },
            SilentDialogs(), 20000); // far beyond the wait below: each case must end on its own merits
        ASSERT_TRUE(client->ConnectTo("127.0.0.1", peer.port(), "demo", "pw"));
        ASSERT_TRUE(waitUntil([&] { return states.size() >= 3; }, 4000));
        EXPECT_EQ(states[1].first, 255);
        EXPECT_EQ(states[1].second, eEAutorization);
        EXPECT_EQ(client->getState(), 0);
    }
}

TEST(HandshakeScript, EmptySessionKeyLeavesLinesUnencrypted) {
    TScriptedPeer peer([](TScriptedPeer &p) {
        p.proveAndReadAnswer();
        p.send("auth|yes|0\r\n"); // a key of no bytes
        if (p.readLine() != "CE|demo|keyok\r\n")
            return;
        p.send("s|1000|data|plain\r\n");
        p.drain();
    });
    std::vector<TBytes> lines;
    std::unique_ptr<TClientThread> client;
    client = std::make_unique<TClientThread>([&] { lines.push_back(client->getData()); }, [] {},
                                             SilentDialogs());
    ASSERT_TRUE(client->ConnectTo("127.0.0.1", peer.port(), "demo", "pw"));
    ASSERT_TRUE(waitUntil([&] { return !lines.empty(); }));
    EXPECT_EQ(client->getState(), 2);
    EXPECT_EQ(lines[0], TBytes("s|1000|data|plain"));
    client->Disconnect();
}
