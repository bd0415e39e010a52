#include "SimProcess.h"
#include "common/ScriptedDialogs.h"

#include "app/Logging.h"
#include "link/ClientSock.h"
#include "link/Framing.h"
#include "link/cryptolib.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct TStateSeen {
    uint8_t state;
    TErrors error;
};

// What the main window would be: records every callback, and disconnects on an error as the
// main window does.
struct TRecorder {
    std::unique_ptr<TClientThread> client;
    std::vector<TStateSeen> states;
    std::vector<TBytes> lines;
    bool disconnectOnError = true;
    bool mainThreadOnly = true;

    explicit TRecorder(bool withData = true, int timeoutMs = TClientThread::DefaultReceiveTimeoutMs,
                       TDialogs &dialogs = SilentDialogs()) {
        TOnData onData;
        if (withData)
            onData = [this] {
                mainThreadOnly &= QThread::currentThread() == qApp->thread();
                lines.push_back(client->getData());
            };
        client = std::make_unique<TClientThread>(
            onData,
            [this] {
                mainThreadOnly &= QThread::currentThread() == qApp->thread();
                states.push_back({client->getState(), client->getError()});
                if (client->getState() == 255 && disconnectOnError)
                    client->Disconnect();
            },
            dialogs, timeoutMs);
    }
    bool reached(uint8_t s) const {
        for (const auto &x : states)
            if (x.state == s)
                return true;
        return false;
    }
    const TStateSeen *firstError() const {
        for (const auto &x : states)
            if (x.state == 255)
                return &x;
        return nullptr;
    }
    std::vector<uint8_t> stateSequence() const {
        std::vector<uint8_t> v;
        for (const auto &x : states)
            v.push_back(x.state);
        return v;
    }
    std::vector<TBytes> linesWith(const char *needle) const {
        std::vector<TBytes> v;
        for (const auto &l : lines)
            if (l.contains(needle))
                v.push_back(l);
        return v;
    }
};

TBytes fromHexField(const QString &logLine, const QString &key) {
    const qsizetype i = logLine.indexOf(key + QLatin1Char('='));
    if (i < 0)
        return {};
    const QString rest = logLine.mid(i + key.size() + 1);
    return QByteArray::fromHex(rest.section(QLatin1Char(' '), 0, 0).toLatin1());
}

// The checksum rule of the devices' packets, written out independently.
bool packetChecksumOk(const TBytes &p) {
    const int e = p.endsWith('\n') ? 1 : 0;
    if (p.size() < 10)
        return false;
    const qsizetype at = p.size() - 2 - e;
    uint8_t x = 0;
    for (qsizetype i = 0; i < at; ++i)
        x ^= static_cast<uint8_t>(p[i]);
    x &= 0x1F;
    if (!x)
        x = 1;
    return static_cast<uint8_t>(p[at]) == (x | 0x40);
}

class LinkLoopback : public ::testing::Test {
protected:
    void SetUp() override { m_dialogs = std::make_shared<TScriptedDialogs>(); }
    std::shared_ptr<TScriptedDialogs> m_dialogs;
};

} // namespace

TEST_F(LinkLoopback, GoodHandshakeReachesStateTwoAndCarriesCommands) {
    // Cyrillic travels as the low 8 bits of each character, login and password alike.
    const QString login = QStringLiteral("диспетчер"), password = QStringLiteral("пароль|1");
    TSimProcess sim({"--account", "operator:s3cret|x", "--account", login + ':' + password,
                     "--key-length", "13"});
    ASSERT_TRUE(sim.ok());
    {
        TRecorder cyr;
        ASSERT_TRUE(cyr.client->ConnectTo("127.0.0.1", sim.port(), login, password));
        ASSERT_TRUE(waitUntil([&] { return cyr.reached(2) || cyr.firstError(); }));
        EXPECT_TRUE(cyr.reached(2));
        EXPECT_EQ(cyr.client->getLogin(), login);
    }
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "operator", "s3cret|x"));
    ASSERT_TRUE(waitUntil([&] { return r.reached(2); }));
    EXPECT_EQ(r.stateSequence(), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(r.client->getLogin(), QString("operator"));
    EXPECT_EQ(r.client->getError(), eENone);

    // The server's first line after the login: the connected objects.
    ASSERT_TRUE(waitUntil([&] { return !r.linesWith("|cobj|").empty(); }));
    EXPECT_TRUE(r.linesWith("|cobj|")[0].endsWith("|cobj|2001,2002,2003,2004,2005,2006"));

    // The challenge: 32 bytes of 30..254.
    const TBytes challenge = fromHexField(sim.find("hello login=operator"), "challenge");
    ASSERT_EQ(challenge.size(), 32);
    for (char c : challenge) {
        EXPECT_GE(static_cast<uint8_t>(c), 30);
        EXPECT_LE(static_cast<uint8_t>(c), 254);
    }

    // An object command, encrypted with the 13-byte session key (padding 3 on the key).
    EXPECT_EQ(fromHexField(sim.find("authorised login=operator"), "key").size(), 13);
    ASSERT_TRUE(r.client->war(TextToBytes("c|operator|o|1000|cmd|unlock2"), true));
    ASSERT_TRUE(waitUntil(
        [&] { return sim.count("command login=operator object=1000 word=unlock2") == 1; }));
    EXPECT_EQ(r.client->getState(), 2);
    EXPECT_TRUE(r.mainThreadOnly);
}

TEST_F(LinkLoopback, RefusedAuthorisationEndsInAuthorisationError) {
    const struct {
        const char *name;
        QStringList simArgs;
        const char *password;
    } cases[] = {
        {"wrong password", {}, "wrong"},
        {"wrong server proof", {"--fault-bad-proof"}, "demo"},
        {"unknown login", {"--account", "other:demo"}, "demo"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TSimProcess sim(c.simArgs);
        ASSERT_TRUE(sim.ok());
        TRecorder r;
        ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", c.password));
        ASSERT_TRUE(waitUntil([&] { return r.firstError() != nullptr; }));
        EXPECT_EQ(r.firstError()->error, eEAutorization);
        EXPECT_FALSE(r.reached(2));
        // The recorder disconnects on the error, as the main window does.
        ASSERT_TRUE(waitUntil([&] { return r.client->getState() == 0; }));
        EXPECT_EQ(sim.count("authorised"), 0);
        // The client never answered a proof it could not check.
        EXPECT_EQ(sim.count("bad answer"), 0);
    }
}

TEST_F(LinkLoopback, ChallengeWithBarIsSentEscaped) {
    TSimProcess sim({});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    r.client->setChallengeSource([] {
        TBytes c = TextToBytes(RandomText(32, 30, 255)).replace('|', 'x');
        c[3] = '|';
        c[20] = '|';
        return c;
    });
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.reached(2); }));
    const QString hello = sim.find("hello login=demo");
    const TBytes raw = fromHexField(hello, "raw");
    const TBytes challenge = fromHexField(hello, "challenge");
    ASSERT_EQ(challenge.size(), 32);
    EXPECT_EQ(challenge[3], '|');
    EXPECT_EQ(challenge[20], '|');
    // On the wire: "CE|demo|" and the challenge with both bars as the marker.
    ASSERT_TRUE(raw.startsWith("CE|demo|"));
    const TBytes sent = raw.mid(8, raw.size() - 10);
    EXPECT_EQ(sent.count('|'), 0);
    EXPECT_EQ(sent.count(TextToBytes(LineMarker)), 2);
    EXPECT_EQ(sent.size(), 32 - 2 + 2 * 7);
}

TEST_F(LinkLoopback, KeepAliveAnsweredOnTheWireAndReidAnswered) {
    TSimProcess sim({"--keepalive", "0.3", "--reid-after", "0.2", "--packet-interval", "100"});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return sim.count("keepalive reply") >= 2; }));
    const TBytes reply = fromHexField(sim.find("keepalive reply"), "raw");
    ASSERT_EQ(reply.size(), 1 + 8 + 2);
    EXPECT_EQ(reply[0], '7');
    EXPECT_TRUE(reply.endsWith("\r\n"));

    // "reid" is answered with the request for the connected objects, and not handed over.
    ASSERT_TRUE(waitUntil([&] { return sim.count("cobj request login=demo") == 1; }));
    ASSERT_TRUE(waitUntil([&] { return r.linesWith("|cobj|").size() == 2; }));
    EXPECT_TRUE(r.linesWith("reid").empty());
    // Neither are keep-alives: every handed line is a connected-objects list.
    for (const TBytes &l : r.lines)
        EXPECT_TRUE(l.contains("|cobj|")) << l.toHex().constData();
    EXPECT_EQ(r.client->getState(), 2);
}

TEST_F(LinkLoopback, SeveralLinesInOneWriteArriveInOrder) {
    TSimProcess sim({"--fault-coalesce", "--packet-interval", "0.2", "--object", "1000", "--object",
                     "1001", "--object", "1002", "--gps-lost-every", "2"});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.linesWith("|data|").size() >= 9; }));
    const auto data = r.linesWith("|data|");
    QStringList seen; // for the failure message
    for (const TBytes &l : r.lines)
        seen << QString::fromLatin1(l.left(12).toHex());
    SCOPED_TRACE(seen.join(' ').toStdString());
    for (size_t i = 0; i < 9; ++i) {
        const TBytes expect = TBytes::number(1000 + static_cast<int>(i % 3)) + "|data|";
        EXPECT_EQ(data[i].mid(2, expect.size()), expect) << i;
        const TBytes packet = data[i].mid(data[i].indexOf("data|") + 5);
        EXPECT_TRUE(packetChecksumOk(packet)) << i;
        // Every other round without a position; a round's packets alike.
        const bool lost = static_cast<uint8_t>(packet[7]) == 0xCF;
        const TBytes first = data[i - i % 3].mid(data[i - i % 3].indexOf("data|") + 5);
        EXPECT_EQ(lost, static_cast<uint8_t>(first[7]) == 0xCF) << i;
        if (i >= 3) {
            const TBytes before = data[i - 3].mid(data[i - 3].indexOf("data|") + 5);
            EXPECT_NE(lost, static_cast<uint8_t>(before[7]) == 0xCF) << i;
        }
    }
}

TEST_F(LinkLoopback, SplitLinesAreHandedOverOnceComplete) {
    TSimProcess sim(
        {"--fault-split", "--packet-interval", "0.5", "--object", "1000,55.70,37.55,50,long"});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.linesWith("|data|").size() >= 3; }));
    ASSERT_EQ(r.linesWith("|cobj|").size(), 1u);
    EXPECT_TRUE(r.linesWith("|cobj|")[0].endsWith("|cobj|1000"));
    // Every packet whole: the sim logged exactly what the client got.
    for (const TBytes &l : r.linesWith("|data|")) {
        const TBytes packet = l.mid(l.indexOf("data|") + 5);
        EXPECT_TRUE(packetChecksumOk(packet));
        // The simulator's log of the last send may still be on its way.
        EXPECT_TRUE(waitUntil(
            [&] { return sim.count("packet=" + QString::fromLatin1(packet.toHex())) == 1; }, 3000));
        // The object as given: near 55°42' N, 37°33' E, long state form (version 4).
        ASSERT_EQ(packet.size(), 40); // no further points at this interval
        EXPECT_EQ(static_cast<uint8_t>(packet[7]) - 27, 55);
        EXPECT_NEAR(static_cast<uint8_t>(packet[8]) - 48, 42, 2);
        EXPECT_EQ(static_cast<uint8_t>(packet[11]) - 27, 37);
        EXPECT_NEAR(static_cast<uint8_t>(packet[12]) - 48, 33, 4);
        const qsizetype state = packet.size() - 1 - 22; // 20 state bytes, checksum, CR, LF
        EXPECT_EQ(packet[state - 1], ';');
        EXPECT_EQ(packet[state] & 0x0F, 4);
    }
    EXPECT_EQ(r.lines.size(), r.linesWith("|data|").size() + 1);
}

TEST_F(LinkLoopback, ServerFaultsEndInSocketError) {
    const struct {
        const char *name;
        QStringList simArgs;
        int timeoutMs;
    } cases[] = {
        {"oversize line", {"--fault-oversize"}, TClientThread::DefaultReceiveTimeoutMs},
        {"connection closed", {"--close-after", "0.3"}, TClientThread::DefaultReceiveTimeoutMs},
        {"silent server", {"--keepalive", "0", "--packet-interval", "100"}, 600},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TSimProcess sim(c.simArgs);
        ASSERT_TRUE(sim.ok());
        TRecorder r(true, c.timeoutMs);
        ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
        ASSERT_TRUE(waitUntil([&] { return r.firstError() != nullptr; }, 8000));
        EXPECT_TRUE(r.reached(2));
        EXPECT_EQ(r.firstError()->error, eESocket);
        EXPECT_EQ(r.states.back().state, 0);
    }
}

TEST_F(LinkLoopback, KeepAlivesKeepAShortTimeOutLinkUp) {
    TSimProcess sim({"--keepalive", "0.2", "--packet-interval", "100"});
    ASSERT_TRUE(sim.ok());
    TRecorder r(true, 700);
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.reached(2); }));
    spin(2000);
    EXPECT_EQ(r.firstError(), nullptr);
    EXPECT_EQ(r.client->getState(), 2);
    EXPECT_GE(sim.count("keepalive reply"), 5);
}

TEST_F(LinkLoopback, DisconnectWakesTheBlockedWorkerAndTheLinkCanReconnect) {
    TSimProcess sim({"--keepalive", "0", "--packet-interval", "100"});
    ASSERT_TRUE(sim.ok());
    TRecorder r; // 120 s receive time-out: the worker sits in its receive
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.reached(2); }));
    spin(200);
    r.client->Disconnect();
    EXPECT_EQ(r.client->getState(), 0);
    // The server sees the connection end at once, not after the time-out.
    ASSERT_TRUE(waitUntil([&] { return sim.count("session 1: closed") == 1; }, 3000));
    spin(200);
    // No error is reported for a disconnection the owner asked for.
    EXPECT_EQ(r.stateSequence(), (std::vector<uint8_t>{1, 2, 0}));

    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.stateSequence().size() == 5; }));
    EXPECT_EQ(r.stateSequence(), (std::vector<uint8_t>{1, 2, 0, 1, 2}));
    // The simulator may log the login a moment after the client has seen it accepted.
    EXPECT_TRUE(waitUntil([&] { return sim.count("authorised login=demo") == 2; }, 3000));
}

TEST_F(LinkLoopback, WithoutDataCallbackLinesAreDiscarded) {
    TSimProcess sim({"--keepalive", "0.2", "--reid-after", "0.1", "--packet-interval", "0.3"});
    ASSERT_TRUE(sim.ok());
    TRecorder r(false);
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.reached(2); }));
    ASSERT_TRUE(waitUntil([&] { return sim.count("sent keepalive") >= 4; }));
    spin(200);
    EXPECT_EQ(sim.count("keepalive reply"), 0);
    EXPECT_EQ(sim.count("cobj request"), 0);
    EXPECT_EQ(r.client->getState(), 2);
}

TEST_F(LinkLoopback, UndecryptableLineIsReportedInTheMainThreadAndTheLinkStaysUp) {
    TSimProcess sim({"--fault-garbage", "--packet-interval", "0.3", "--object", "1000"});
    ASSERT_TRUE(sim.ok());
    TRecorder r(true, TClientThread::DefaultReceiveTimeoutMs, *m_dialogs);
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return r.linesWith("|data|").size() >= 2; }));
    ASSERT_EQ(m_dialogs->calls.size(), 1u);
    EXPECT_EQ(m_dialogs->calls[0].kind, QString("message"));
    EXPECT_TRUE(m_dialogs->calls[0].text.startsWith("Error in data: \r\n9"));
    EXPECT_EQ(m_dialogs->calls[0].caption, QString("Unknown error"));
    EXPECT_EQ(m_dialogs->calls[0].icon, TMsgIcon::Error);
    EXPECT_EQ(r.client->getState(), 2);
}

namespace {
// A box that stays open a while, as a modal one would, running the events meanwhile.
class TSlowDialogs : public TDialogs {
public:
    QStringList calls;
    std::function<size_t()> probe; // sampled when the box opens and when it closes
    std::vector<std::pair<size_t, size_t>> seen;
    void message(const QString &text, const QString &, TMsgIcon) override {
        calls << text;
        const size_t atOpen = probe();
        QEventLoop loop;
        QTimer::singleShot(1500, &loop, &QEventLoop::quit);
        loop.exec();
        seen.emplace_back(atOpen, probe());
    }
    TMsgButton question(const QString &, const QString &, TMsgIcon, TMsgButtons,
                        TMsgButton) override {
        ADD_FAILURE() << "unexpected question";
        return mbCancel;
    }
    QStringList openFiles(const QString &, const QString &, const QString &, bool) override {
        return {};
    }
    QString saveFile(const QString &, const QString &, const QString &, const QString &) override {
        return {};
    }
    QString selectFolder(const QString &, const QString &) override { return {}; }
    bool inputText(const QString &, const QString &, QString &) override { return false; }
};
} // namespace

TEST_F(LinkLoopback, WorkerDoesNotWaitForTheBoxAndFurtherReportsAreLogged) {
    QTemporaryDir dir;
    auto opLog = std::make_shared<TOperationsLog>(dir.filePath("log.txt"));
    InstallOperationsLog(opLog);
    auto slow = std::make_shared<TSlowDialogs>();

    TSimProcess sim(
        {"--fault-garbage", "--keepalive", "0.3", "--packet-interval", "0.2", "--object", "1000"});
    ASSERT_TRUE(sim.ok());
    TRecorder r(true, TClientThread::DefaultReceiveTimeoutMs, *slow);
    slow->probe = [&] { return r.lines.size(); };
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return !slow->seen.empty(); }));
    // While the first box was open, lines kept coming: the worker went on without waiting.
    EXPECT_GE(slow->seen[0].second - slow->seen[0].first, 3u);
    // The reports of that time went to the operations log instead of a second box.
    int errors = 0;
    for (const QString &l : opLog->takeQueued())
        errors += l.contains("Error in data") ? 1 : 0;
    EXPECT_GE(errors, 2);
    EXPECT_EQ(r.client->getState(), 2);
    r.client.reset();
    InstallOperationsLog(nullptr);
}

TEST_F(LinkLoopback, ConnectFailures) {
    TRecorder r;
    // A port that is not a number changes nothing.
    EXPECT_FALSE(r.client->ConnectTo("127.0.0.1", "77x", "demo", "demo"));
    EXPECT_TRUE(r.states.empty());
    // Nobody listening: a socket error. The port stays bound (not listening) meanwhile, so no
    // server of a test running alongside can take it.
    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr *>(&sa), sizeof sa), 0);
    socklen_t len = sizeof sa;
    ::getsockname(holder, reinterpret_cast<sockaddr *>(&sa), &len);
    const int freePort = ntohs(sa.sin_port);
    EXPECT_FALSE(r.client->ConnectTo("127.0.0.1", QString::number(freePort), "demo", "demo"));
    ASSERT_FALSE(r.states.empty());
    EXPECT_EQ(r.states.front().state, 255);
    EXPECT_EQ(r.states.front().error, eESocket);
    EXPECT_FALSE(r.client->war("x", false));
    ::close(holder);
}

TEST_F(LinkLoopback, DestroyingWhileAHandOverWaitsDoesNotHang) {
    TSimProcess sim({"--packet-interval", "0.1", "--object", "1000"});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "demo", "demo"));
    ASSERT_TRUE(waitUntil([&] { return !r.linesWith("|data|").empty(); }));
    // Now the main thread stops running events: the worker blocks in its next hand-over.
    QThread::msleep(400);
    const size_t seen = r.lines.size();
    QElapsedTimer t;
    t.start();
    r.client.reset();
    EXPECT_LT(t.elapsed(), 2000);
    // Nothing queued runs into the owner after it is gone.
    spin(300);
    EXPECT_EQ(r.lines.size(), seen);
}

TEST_F(LinkLoopback, AccountsFileAndConnectionEvents) {
    QTemporaryDir dir;
    QFile f(dir.filePath("accounts.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# dispatchers\ndepot=pa=ss\n\n");
    f.close();
    TSimProcess sim({"--accounts", f.fileName(), "--object", "1000", "--cnev-interval", "0.3",
                     "--packet-interval", "100"});
    ASSERT_TRUE(sim.ok());
    TRecorder r;
    ASSERT_TRUE(r.client->ConnectTo("127.0.0.1", sim.port(), "depot", "pa=ss"));
    ASSERT_TRUE(waitUntil([&] { return r.linesWith("|cnev|").size() >= 2; }));
    const auto events = r.linesWith("|cnev|");
    // The object number two bytes in, the state letter in the last field.
    EXPECT_EQ(events[0].mid(2), TBytes("1000|cnev|d"));
    EXPECT_EQ(events[1].mid(2), TBytes("1000|cnev|c"));
    EXPECT_TRUE(r.linesWith("|cobj|")[0].endsWith("|cobj|1000"));
}
