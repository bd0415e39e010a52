// What a server sends after the login, from a scripted peer on loopback: lines whose ciphertext
// holds CR LF, and floods of lines the client cannot open.
#include "ScriptedPeer.h"
#include "ServerEnvelope.h"
#include "SimProcess.h"
#include "common/ScriptedDialogs.h"

#include "app/Logging.h"
#include "link/ClientSock.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

namespace {
const TBytes kSessionKey = "0123456789abcdef";

// A data line's plaintext is handed over as it is unless it reads as a keep-alive or "reid".
bool handedOver(const TBytes &plain) {
    const uint8_t first = uint8_t(plain[0]);
    return first != 0xD5 && first != 0xF5 && !plain.contains("reid");
}
} // namespace

// A CR LF inside a ciphertext does not cut the line, whether the line arrives in one piece or
// is split right after that CR LF; a first "|" written as the line marker counts as one byte.
TEST(LinesAfterLogin, CrLfInsideACiphertextKeepsTheLineWhole) {
    const std::vector<TBytes> plains = {PlainForCiphertext("abcde\r\nfghijklmn", kSessionKey),
                                        PlainForCiphertext("a|cde\r\nfghijklmn", kSessionKey),
                                        "s|1000|cnev|c"};
    for (const TBytes &p : plains)
        ASSERT_TRUE(handedOver(p));
    TBytes wire;
    for (const TBytes &p : plains)
        wire += ServerEnvelope(p, kSessionKey);
    const qsizetype inner = wire.indexOf("\r\n") + 2; // the CR LF inside the first ciphertext
    ASSERT_LT(inner, ServerEnvelope(plains[0], kSessionKey).size());

    TScriptedPeer peer([&](TScriptedPeer &p) {
        p.proveAndReadAnswer();
        if (!p.sendKeyAndConfirm(kSessionKey))
            return;
        p.send(wire.left(inner));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        p.send(wire.mid(inner));
        p.send(wire); // and all at once
        p.drain();
    });
    auto dialogs = std::make_shared<TScriptedDialogs>();
    std::vector<TBytes> lines;
    std::unique_ptr<TClientThread> client;
    client = std::make_unique<TClientThread>([&] { lines.push_back(client->getData()); }, [] {},
                                             *dialogs);
    ASSERT_TRUE(client->ConnectTo("127.0.0.1", peer.port(), "demo", "pw"));
    ASSERT_TRUE(waitUntil([&] { return lines.size() >= 6; }));
    EXPECT_EQ(client->getState(), 2);
    const std::vector<TBytes> want = {plains[0], plains[1], plains[2],
                                      plains[0], plains[1], plains[2]};
    EXPECT_EQ(lines, want);
    EXPECT_TRUE(dialogs->calls.empty());
    client->Disconnect();
}

// A server flooding lines the envelope cannot open, between good ones: every good line arrives,
// in order; one box for the connection; the operations log gets a bounded share; the main
// thread keeps running its other events meanwhile.
TEST(LinesAfterLogin, FloodOfBadLinesGivesOneBoxABoundedLogAndAResponsiveMainThread) {
    QTemporaryDir dir;
    auto opLog = std::make_shared<TOperationsLog>(dir.filePath("log.txt"));
    InstallOperationsLog(opLog);
    constexpr int Bad = 30000, Good = 400;
    TBytes wire;
    for (int i = 0; i < Bad; ++i) {
        wire += "9ABCDEFGH\r\n"; // padding digit 9: no envelope has it
        if (i % (Bad / Good) == 0)
            wire += ServerEnvelope("s|1000|cnev|" + TBytes::number(i), kSessionKey);
    }
    TScriptedPeer peer([&](TScriptedPeer &p) {
        p.proveAndReadAnswer();
        if (!p.sendKeyAndConfirm(kSessionKey))
            return;
        p.send(wire);
        p.drain();
    });
    auto dialogs = std::make_shared<TScriptedDialogs>();
    std::vector<TBytes> lines;
    std::unique_ptr<TClientThread> client;
    client = std::make_unique<TClientThread>([&] { lines.push_back(client->getData()); }, [] {},
                                             *dialogs);
    QElapsedTimer sinceTick;
    qint64 worstGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { worstGap = std::max(worstGap, sinceTick.restart()); });
    ASSERT_TRUE(client->ConnectTo("127.0.0.1", peer.port(), "demo", "pw"));
    sinceTick.start();
    ticker.start(10);
    ASSERT_TRUE(waitUntil([&] { return lines.size() >= size_t(Good); }, 30000)) << lines.size();
    ticker.stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(client->getState(), 2);
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "s|1000|cnev|" + TBytes::number(int(i) * (Bad / Good))) << i;

    ASSERT_EQ(dialogs->calls.size(), 1u);
    EXPECT_TRUE(dialogs->calls[0].text.startsWith("Error in data: \r\n9ABCDEFGH"));
    int logged = 0;
    for (const QString &l : opLog->takeQueued())
        logged += l.contains("Error in data") ? 1 : 0;
    EXPECT_GE(logged, TClientThread::LoggedBadLines);
    EXPECT_LE(logged, TClientThread::LoggedBadLines + Bad / 1000 + 1);
    std::printf("%d bad and %d good lines: worst gap between 10 ms ticks %lld ms\n", Bad, Good,
                (long long)worstGap);
    EXPECT_LT(worstGap, 500);
    client.reset();
    InstallOperationsLog(nullptr);
}
