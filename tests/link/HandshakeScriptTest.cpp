// Handshake replies no correct server sends, from a scripted peer on loopback: the client must
// fail the handshake (or, for an empty session key, carry on unencrypted), never crash.
#include "ScriptedPeer.h"
#include "SimProcess.h"

#include "app/Dialogs.h"
#include "link/ClientSock.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

#include <memory>
#include <vector>

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
            SilentDialogs(),
            20000); // far beyond the wait below: each case must end on its own merits
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
