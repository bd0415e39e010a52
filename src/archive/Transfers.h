#pragma once

// The transfers of the archive download. One libcurl handle per run and transport keeps the
// server connection between files; every transfer runs in a worker thread of its own, which
// touches nothing but the handle and the buffers it was given. The window's thread waits for
// it, running its events meanwhile, and may cut the connection at any moment (Disconnect):
// the running transfer then fails at once.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

typedef void CURL;
typedef void CURLM;

// One libcurl transfer handle with the connection cache it keeps between transfers. Transfers
// are driven in polls of at most 10 ms, so no step waits on a timer for an event that already
// came, and a cut connection is noticed at once.
class TCurlSession {
public:
    TCurlSession();
    ~TCurlSession();
    TCurlSession(const TCurlSession &) = delete;
    TCurlSession &operator=(const TCurlSession &) = delete;

    CURL *easy() const { return m_easy; }
    // Runs the transfer set up on easy(); the libcurl result.
    int perform();
    // Safe from any thread: the running transfer and every later one fail at once.
    void abort();
    bool aborted() const { return m_abort.load(); }

private:
    CURL *m_easy = nullptr;
    CURLM *m_multi = nullptr;
    std::atomic<bool> m_abort{false};
};

// What the cancel button of a running download cuts off.
class TArchiveConnection {
public:
    virtual ~TArchiveConnection() = default;
    // Safe from any thread; every transfer from then on fails at once.
    virtual void Disconnect() = 0;
};

// How one fetch ended.
struct TFetchResult {
    int code = 0;  // the libcurl result, 0 when complete
    QString error; // its text
    // The server was not reached or refused the login: nothing was asked of it.
    bool connectFailed = false;
    // The peer reset the connection (the Windows socket error 10054).
    bool peerReset = false;
};

struct TFtpSettings {
    QString host;
    int port = 2121;
    QString user;
    QString password;
    bool passive = true;
    // The address announced to the server in active mode; empty: the local address of the
    // control connection.
    QString externalAddress;
};

class TFtpClient : public TArchiveConnection {
public:
    explicit TFtpClient(const TFtpSettings &settings);
    ~TFtpClient() override;
    TFtpClient(const TFtpClient &) = delete;
    TFtpClient &operator=(const TFtpClient &) = delete;

    // Fetches the remote file whole, binary, in stream mode, without resume. The name is sent
    // as it is given (a backslash included). One transfer at a time.
    TFetchResult Get(const QString &remoteName, QByteArray &out);
    void Disconnect() override;

private:
    TFtpSettings m_settings;
    TCurlSession m_curl;
};

struct THttpSettings {
    // The data server's name; a URL ("http://host:port/path") gives its host and port.
    QString server;
    int port = 80;
    QString login;
    QString password;
    bool useProxy = false;
    QString proxyServer;
    QString proxyPort;
    QString proxyLogin;
    QString proxyPassword;
};

// What a GET gave before and after its body.
struct THttpResult {
    TFetchResult fetch;
    bool headersRead = false;
    int status = 0;
    // The Content-Length value; -1 when missing or not a number.
    qint64 contentLength = -1;
    // The response was not read on: its length equals the stored file's.
    bool alreadyLoaded = false;
};

class THttpClient : public TArchiveConnection {
public:
    explicit THttpClient(const THttpSettings &settings);
    ~THttpClient() override;
    THttpClient(const THttpClient &) = delete;
    THttpClient &operator=(const THttpClient &) = delete;

    // False when the settings name no server, or a proxy without its name or port: nothing
    // can be fetched.
    bool isOpen() const { return m_curl != nullptr; }
    const QString &baseUrl() const { return m_base; }
    // GET of path below the server ("zarnex/N/yyyymmdd.dat"), no cache, no redirect. The body
    // is read only for a "200" answer with a non-zero Content-Length other than storedSize
    // (-1: nothing stored).
    THttpResult Get(const QString &path, qint64 storedSize, QByteArray &body);
    void Disconnect() override;

private:
    THttpSettings m_settings;
    QString m_base;
    std::unique_ptr<TCurlSession> m_curl;
};

// A worker thread that runs one job; the owner waits for it and joins it on destruction.
class TWorker {
public:
    TWorker() = default;
    ~TWorker();
    TWorker(const TWorker &) = delete;
    TWorker &operator=(const TWorker &) = delete;

    void start(std::function<void()> job);
    bool executed() const { return m_executed.load(std::memory_order_acquire); }
    // Blocks until the job has run.
    void wait();

private:
    std::thread m_thread;
    std::atomic<bool> m_executed{false};
    std::mutex m_mutex;
    std::condition_variable m_done;
};

// One FTP transfer: the remote file, decompressed into the output buffer. The error code
// tells how far it got: -1 not started, 1 the transfer failed, 2 the decompression failed,
// 0 complete. A connection reset by the peer ends the transfer with what was received.
class TDownloadThread {
public:
    TDownloadThread(TFtpClient &IdFTP, const QString &FileName, QByteArray &OutStream);

    bool Executed() const { return m_worker.executed(); }
    // Valid once Executed.
    int ErrorCode() const { return FErrorCode; }
    const QString &ErrorDesc() const { return FErrorDesc; }
    // The transfer failed before the server was reached or logged into.
    bool ConnectFailed() const { return m_connectFailed; }
    void WaitTillExecuted() { m_worker.wait(); }

private:
    void Execute();

    TFtpClient &FIdFTP;
    QString FFileName;
    QByteArray &FOutStream;
    int FErrorCode = -1;
    QString FErrorDesc = QStringLiteral("Cannot start download");
    bool m_connectFailed = false;
    TWorker m_worker; // last: joined before the fields above go
};

// One HTTP GET with its body read into the output buffer.
class TDownloadThreadHTTP {
public:
    TDownloadThreadHTTP(THttpClient &client, const QString &FileName, qint64 storedSize,
                        QByteArray &OutStream);

    bool Executed() const { return m_worker.executed(); }
    const THttpResult &result() const { return m_result; }
    void WaitTillExecuted() { m_worker.wait(); }

private:
    THttpClient &m_client;
    QString FFileName;
    qint64 m_storedSize;
    QByteArray &FOutStream;
    THttpResult m_result;
    TWorker m_worker; // last
};

// The largest file a transfer or a decompression yields (a day file holds at most a record a
// second, some 26 MB): a larger one is refused rather than allowed to fill the memory.
constexpr qint64 kMaxArchiveBytes = qint64(256) << 20;

// Decompresses a zlib stream in 8 KiB chunks. False with the reason when the data is not a
// zlib stream, ends before the stream does or would grow beyond limit bytes.
bool InflateArchive(const QByteArray &in, QByteArray &out, QString &error,
                    qint64 limit = kMaxArchiveBytes);
