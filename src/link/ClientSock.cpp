#include "link/ClientSock.h"

#include "app/Dialogs.h"
#include "app/Logging.h"
#include "link/Framing.h"
#include "link/LoginExchange.h"
#include "link/cryptolib.h"

#include <QMetaObject>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

bool sendAll(int fd, const TBytes &bytes) {
    if (fd < 0)
        return false;
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent,
                                 static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool resolveIPv4(const QString &host, in_addr &addr) {
    const QByteArray h = host.toLatin1();
    if (::inet_pton(AF_INET, h.constData(), &addr) == 1)
        return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (::getaddrinfo(h.constData(), nullptr, &hints, &res) != 0 || !res)
        return false;
    addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return true;
}

// A hand-over to the main thread that the worker can abandon when it is told to stop.
struct THandover {
    std::mutex mx;
    std::condition_variable cv;
    bool started = false;
    bool done = false;
    bool cancelled = false;
    std::exception_ptr error;
};

} // namespace

TClientThread::TClientThread(TOnData AOnData, TOnState AOnState, TDialogs &dialogs,
                             int receiveTimeoutMs)
    : fOnData(std::move(AOnData)), fOnState(std::move(AOnState)), m_dialogs(dialogs),
      m_receiveTimeoutMs(receiveTimeoutMs) {
    m_thread = std::thread([this] { Execute(); });
}

TClientThread::~TClientThread() {
    Terminate();
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard l(m_mx);
    if (ssock >= 0)
        m_retired.push_back(ssock);
    ssock = -1;
    for (int fd : m_retired)
        ::close(fd);
    m_retired.clear();
}

void TClientThread::Terminate() {
    m_terminated = true;
    std::lock_guard l(m_mx);
    if (ssock >= 0)
        ::shutdown(ssock, SHUT_RDWR); // wakes a blocked receive; the worker closes it
}

void TClientThread::setChallengeSource(std::function<TBytes()> source) {
    std::lock_guard l(m_mx);
    m_challengeSource = std::move(source);
}

bool TClientThread::ConnectTo(const QString &host, const QString &port, const QString &login,
                              const QString &password) {
    {
        std::lock_guard l(m_mx);
        shost = host;
        sport = port;
    }
    bool portOk = false;
    const int portNo = port.trimmed().toInt(&portOk);
    if (!portOk || portNo < 0 || portNo > 65535)
        return false;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        {
            std::lock_guard l(m_mx);
            _eerr = eESocket;
        }
        SetState(255);
        return false;
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(portNo));
    int rc = -1;
    if (resolveIPv4(host, sa.sin_addr)) {
        do {
            rc = ::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
        } while (rc != 0 && errno == EINTR);
    }
    if (rc != 0) {
        ::close(fd); // never published: nobody else knows this descriptor
        {
            std::lock_guard l(m_mx);
            _eerr = eESocket;
        }
        SetState(255);
        return false;
    }
    const int ms = m_receiveTimeoutMs;
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    {
        std::lock_guard l(m_mx);
        if (ssock >= 0) { // a connection nobody disconnected: hand it to the worker to close
            ::shutdown(ssock, SHUT_RDWR);
            RetireLocked();
        }
        ssock = fd;
        ++m_gen;
        slog = login;
        spwd = password;
        auth = false;
        a_key.clear();
        sockConnected = true;
    }
    SetState(1);
    return true;
}

void TClientThread::Disconnect() {
    {
        std::lock_guard l(m_mx);
        auth = false;
        sockConnected = false;
        if (ssock >= 0) {
            ::shutdown(ssock, SHUT_RDWR);
            RetireLocked();
        }
    }
    SetState(0);
}

bool TClientThread::war(const TBytes &arr, bool e) {
    bool ok;
    {
        // The descriptor is taken under the send lock: the worker closes retired descriptors
        // only while holding it, so this one cannot be closed (and reused) under the send.
        std::lock_guard s(m_sendMx);
        int fd;
        TBytes key;
        {
            std::lock_guard l(m_mx);
            fd = ssock;
            key = a_key;
        }
        ok = sendAll(fd, FrameLine(arr, e, key));
    }
    if (!ok)
        SetState(255);
    return ok;
}

bool TClientThread::SendOn(int fd, const TBytes &arr, bool e, const TBytes &key,
                           bool reportFailure) {
    const TBytes frame = FrameLine(arr, e, key);
    bool ok;
    {
        std::lock_guard s(m_sendMx);
        ok = sendAll(fd, frame);
    }
    if (!ok && reportFailure)
        SetState(255);
    return ok;
}

uint8_t TClientThread::getState() const {
    std::lock_guard l(m_mx);
    return _estate;
}

TErrors TClientThread::getError() const {
    std::lock_guard l(m_mx);
    return _eerr;
}

QString TClientThread::getLogin() const {
    std::lock_guard l(m_mx);
    return slog;
}

TBytes TClientThread::getData() const {
    std::lock_guard l(m_mx);
    return _data;
}

// ---- worker

void TClientThread::RetireLocked() {
    m_retired.push_back(ssock);
    ssock = -1;
}

void TClientThread::CloseRetired() {
    std::vector<int> fds;
    {
        std::lock_guard l(m_mx);
        fds.swap(m_retired);
    }
    if (fds.empty())
        return;
    // A send in progress on one of them finishes (it fails fast after the shutdown) first.
    std::lock_guard s(m_sendMx);
    for (int fd : fds)
        ::close(fd);
}

bool TClientThread::IsCurrent(quint64 gen) const {
    std::lock_guard l(m_mx);
    return gen == m_gen && sockConnected;
}

void TClientThread::FailSession(quint64 gen) {
    {
        std::lock_guard l(m_mx);
        // After a Disconnect the failing receive is expected, not a link error.
        if (gen != m_gen || !sockConnected)
            return;
        ::shutdown(ssock, SHUT_RDWR);
        RetireLocked();
        sockConnected = false;
        auth = false;
        _eerr = eESocket;
    }
    SetState(255);
}

void TClientThread::Execute() {
    while (!m_terminated) {
        CloseRetired();
        int fd;
        quint64 gen;
        bool needAuth;
        {
            std::lock_guard l(m_mx);
            fd = ssock;
            gen = m_gen;
            needAuth = !auth;
            if (!sockConnected || fd < 0)
                fd = -1;
        }
        if (fd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (needAuth) {
            TBytes key;
            const bool ok = Handshake(fd, key);
            if (m_terminated)
                break;
            if (!IsCurrent(gen))
                continue;
            if (ok) {
                {
                    std::lock_guard l(m_mx);
                    auth = true;
                    a_key = key;
                }
                SetState(2);
            } else {
                {
                    std::lock_guard l(m_mx);
                    _eerr = eEAutorization;
                }
                SetState(255);
            }
        }
        ReceiveLoop(fd, gen);
    }
    {
        std::lock_guard l(m_mx);
        auth = false;
        sockConnected = false;
        _estate = 0; // no callback: the owner is going away
        if (ssock >= 0) {
            ::shutdown(ssock, SHUT_RDWR);
            RetireLocked();
        }
    }
    CloseRetired();
    m_finished = true;
}

bool TClientThread::ReadHandshakeLine(int fd, TBytes &line) {
    line.clear();
    for (;;) {
        char c;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        line.append(c);
        if (line.endsWith("\r\n"))
            return true;
        if (line.size() > TLineCutter::MaxBuffered)
            return false;
    }
}

bool TClientThread::ProofTravels(const TBytes &challenge, const TBytes &key) {
    TBytes proof;
    uint8_t pad = 0;
    RC5Bytes(challenge, key, 32, proof, pad, 1, 16);
    return proof.count('|') <= 1 && !proof.contains("\r\n") && FindBytes(LineMarker, proof) < 0;
}

bool TClientThread::Handshake(int fd, TBytes &sessionKey) {
    try {
        QString login, password;
        std::function<TBytes()> source;
        {
            std::lock_guard l(m_mx);
            login = slog;
            password = spwd;
            source = m_challengeSource;
        }
        const TBytes K = MD5Bytes(TextToBytes(password));
        // Only a proof that crosses the line intact lets a server that knows the password
        // through; draw again (a few times at most) when the random bytes would spoil it.
        TBytes challenge;
        for (int attempt = 0; attempt < 64; ++attempt) {
            challenge = source ? source() : TextToBytes(RandomText(32, 30, 255));
            if (ProofTravels(challenge, K))
                break;
        }
        {
            std::lock_guard l(m_mx);
            grb_send = challenge;
        }
        const TLoginExchange exchange(login, password, challenge);
        if (!SendOn(fd, exchange.hello(), false, {}, false))
            return false;

        TBytes l1, answer;
        if (!ReadHandshakeLine(fd, l1) || !exchange.answer(l1, answer))
            return false;
        if (!SendOn(fd, answer, false, {}, false))
            return false;

        TBytes l2, key;
        if (!ReadHandshakeLine(fd, l2) || !exchange.sessionKey(l2, key))
            return false;
        if (!SendOn(fd, exchange.keyOk(), false, {}, false))
            return false;
        sessionKey = key;
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void TClientThread::ReceiveLoop(int fd, quint64 gen) {
    TLineCutter cutter;
    {
        std::lock_guard l(m_mx);
        // With a session key every line is an envelope (a CR LF may sit in its ciphertext).
        cutter.setEnvelopes(!a_key.isEmpty());
    }
    int badLines = 0; // of this connection
    std::vector<char> buf(TLineCutter::ReadChunk);
    while (!m_terminated && IsCurrent(gen)) {
        const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !cutter.append(buf.data(), n)) {
            FailSession(gen);
            return;
        }
        const std::vector<TBytes> lines = cutter.takeLines();
        TOnLines onLines;
        {
            std::lock_guard l(m_mx);
            onLines = fOnLines;
        }
        if (onLines) {
            std::vector<TBytes> batch;
            for (const TBytes &line : lines) {
                if (m_terminated || !IsCurrent(gen))
                    return;
                TBytes plain;
                if (TakeLine(fd, gen, line, badLines, plain))
                    batch.push_back(std::move(plain));
            }
            if (batch.empty() || m_terminated || !IsCurrent(gen))
                continue;
            try {
                RunInMainThread([&] { onLines(batch); });
            } catch (const std::exception &e) {
                LogOperations(QStringLiteral("Error in data: ") + QString::fromUtf8(e.what()),
                              QStringLiteral("ClientSock"), 0);
            }
            continue;
        }
        if (!fOnData)
            continue;
        for (const TBytes &line : lines) {
            if (m_terminated || !IsCurrent(gen))
                return;
            HandleLine(fd, gen, line, badLines);
        }
    }
}

bool TClientThread::TakeLine(int fd, quint64 gen, const TBytes &line, int &badLines,
                             TBytes &plain) {
    try {
        TBytes key;
        QString login;
        {
            std::lock_guard l(m_mx);
            key = a_key;
            login = slog;
        }
        plain = DecryptEnvelope(line, key);
        const uint8_t first = plain.isEmpty() ? 0 : static_cast<uint8_t>(plain[0]);
        TBytes reply;
        if (first == 0xD5 || first == 0xF5)
            reply = TextToBytes(QStringLiteral("0"));
        else if (FindBytes(QStringLiteral("reid"), plain) >= 0)
            reply = TextToBytes(QStringLiteral("c|") + login + QStringLiteral("|s|s|cobj|all"));
        if (reply.isEmpty())
            return true;
        if (!SendOn(fd, reply, true, key, false) && IsCurrent(gen))
            SetState(255);
    } catch (const std::exception &) {
        ReportBadLine(gen, line, ++badLines);
    }
    return false;
}

void TClientThread::HandleLine(int fd, quint64 gen, const TBytes &line, int &badLines) {
    try {
        TBytes key;
        QString login;
        {
            std::lock_guard l(m_mx);
            key = a_key;
            login = slog;
        }
        const TBytes plain = DecryptEnvelope(line, key);
        const uint8_t first = plain.isEmpty() ? 0 : static_cast<uint8_t>(plain[0]);
        TBytes reply;
        if (first == 0xD5 || first == 0xF5)
            reply = TextToBytes(QStringLiteral("0"));
        else if (FindBytes(QStringLiteral("reid"), plain) >= 0)
            reply = TextToBytes(QStringLiteral("c|") + login + QStringLiteral("|s|s|cobj|all"));
        if (!reply.isEmpty()) {
            // A reply failing on a connection already given up is no news.
            if (!SendOn(fd, reply, true, key, false) && IsCurrent(gen))
                SetState(255);
        } else {
            {
                std::lock_guard l(m_mx);
                _data = plain;
            }
            RunInMainThread(fOnData);
        }
    } catch (const std::exception &) {
        ReportBadLine(gen, line, ++badLines);
    }
}

void TClientThread::ReportBadLine(quint64 gen, const TBytes &line, int count) {
    // A line is at most 128 KB; a screenful of it tells as much.
    QString text = QStringLiteral("Error in data: \r\n") + BytesToText(line.left(ReportedBytes));
    if (line.size() > ReportedBytes)
        text += QStringLiteral("... (%1)").arg(line.size());
    // The first such line of a connection is shown; the rest go to the operations log, so a
    // server sending nothing else fills neither the screen nor the main thread's queue, and
    // the log only up to a limit.
    bool idle = false;
    if (m_boxGen.load() != gen && m_reportQueued.compare_exchange_strong(idle, true)) {
        m_boxGen = gen;
        PostMessage(text);
    } else if (count <= LoggedBadLines) {
        LogOperations(text, QStringLiteral("ClientSock"), 0);
    } else if (count % 1000 == 0) {
        LogOperations(QStringLiteral("Error in data: %1 lines of this connection").arg(count),
                      QStringLiteral("ClientSock"), 0);
    }
}

// ---- main-thread hand-over

bool TClientThread::InMainThread() const {
    return QThread::currentThread() == m_context.thread();
}

void TClientThread::SetState(uint8_t state) {
    {
        std::lock_guard l(m_mx);
        _estate = state;
    }
    if (!fOnState || m_terminated)
        return;
    try {
        RunInMainThread(fOnState);
    } catch (const std::exception &e) {
        LogOperations(QStringLiteral("Ошибка обработки состояния соединения: ") +
                          QString::fromUtf8(e.what()),
                      QStringLiteral("ClientSock"), 0);
    }
}

bool TClientThread::RunInMainThread(const std::function<void()> &f) {
    if (InMainThread()) {
        f();
        return true;
    }
    auto h = std::make_shared<THandover>();
    QMetaObject::invokeMethod(
        &m_context,
        [h, f] {
            {
                std::lock_guard l(h->mx);
                if (h->cancelled)
                    return;
                h->started = true;
            }
            try {
                f();
            } catch (...) {
                h->error = std::current_exception();
            }
            {
                std::lock_guard l(h->mx);
                h->done = true;
            }
            h->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock l(h->mx);
    while (!h->done) {
        if (m_terminated && !h->started) {
            h->cancelled = true;
            return false;
        }
        h->cv.wait_for(l, std::chrono::milliseconds(50));
    }
    if (h->error)
        std::rethrow_exception(h->error);
    return true;
}

void TClientThread::PostMessage(const QString &text) {
    QMetaObject::invokeMethod(
        &m_context, [this, text] { ShowMessage(text); }, Qt::QueuedConnection);
}

void TClientThread::ShowMessage(const QString &text) {
    m_reportQueued = false;
    if (m_boxOpen) {
        LogOperations(text, QStringLiteral("ClientSock"), 0);
        return;
    }
    m_boxOpen = true;
    m_dialogs.message(text, QStringLiteral("Unknown error"), TMsgIcon::Error);
    m_boxOpen = false;
}
