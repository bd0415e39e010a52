#include "archive/Transfers.h"

#include <QUrl>

#include <curl/curl.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace {

// libcurl's global state is set up once, from the first client, on the window's thread.
void initCurl() {
    static const bool done = [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw std::runtime_error("libcurl could not be initialised");
        return true;
    }();
    (void)done;
}

CURL *newHandle() {
    initCurl();
    CURL *c = curl_easy_init();
    if (!c)
        throw std::runtime_error("libcurl could not create a transfer");
    return c;
}

// A body that would grow beyond kMaxArchiveBytes stops the transfer (CURLE_WRITE_ERROR).
size_t appendBody(char *data, size_t size, size_t n, void *target) {
    auto *body = static_cast<QByteArray *>(target);
    if (body->size() + qint64(size * n) > kMaxArchiveBytes)
        return 0;
    body->append(data, qsizetype(size * n));
    return size * n;
}

bool tooLarge(CURLcode code, const QByteArray &body) {
    return code == CURLE_WRITE_ERROR && body.size() > kMaxArchiveBytes - CURL_MAX_WRITE_SIZE;
}

QString tooLargeText() {
    return QStringLiteral("Файл больше %1 МБ: загрузка прервана").arg(kMaxArchiveBytes >> 20);
}

// Returning non-zero makes the running transfer fail with CURLE_ABORTED_BY_CALLBACK.
int checkAbort(void *session, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const TCurlSession *>(session)->aborted() ? 1 : 0;
}

// Settings every transfer of a run shares: no signals (worker threads), give up on a
// connection that cannot be made or a transfer that stalls, answer the cancel button.
void commonOptions(CURL *c, TCurlSession &session) {
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, 120L);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &checkAbort);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &session);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &appendBody);
}

QString hostForUrl(const QString &host) {
    // An IPv6 literal is bracketed in a URL.
    return host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['))
               ? QLatin1Char('[') + host + QLatin1Char(']')
               : host;
}

TFetchResult resultOf(CURL *c, CURLcode code, const char *errorBuffer, const QByteArray &body) {
    TFetchResult r;
    r.code = int(code);
    if (code == CURLE_OK)
        return r;
    if (tooLarge(code, body))
        r.error = tooLargeText();
    else if (code == CURLE_ABORTED_BY_CALLBACK)
        r.error = QStringLiteral("Соединение разорвано");
    else
        r.error = QString::fromLocal8Bit(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    long osErrno = 0;
    curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osErrno);
    r.peerReset = (code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR) &&
                  (osErrno == ECONNRESET || r.error.contains(QLatin1String("reset by peer")));
    // Nothing heard from the server: the connection or the login failed, not the file.
    long response = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response);
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_LOGIN_DENIED:
        r.connectFailed = true;
        break;
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        r.connectFailed = response == 0;
        break;
    default:
        break;
    }
    if (r.connectFailed)
        r.peerReset = false;
    return r;
}

} // namespace

// ---- the libcurl session

TCurlSession::TCurlSession() {
    m_easy = newHandle();
    m_multi = curl_multi_init();
    if (!m_multi) {
        curl_easy_cleanup(m_easy);
        throw std::runtime_error("libcurl could not create a transfer");
    }
}

TCurlSession::~TCurlSession() {
    curl_multi_cleanup(m_multi); // closes the cached connections
    curl_easy_cleanup(m_easy);
}

void TCurlSession::abort() {
    m_abort = true;
    curl_multi_wakeup(m_multi);
}

int TCurlSession::perform() {
    if (m_abort)
        return CURLE_ABORTED_BY_CALLBACK;
    curl_multi_add_handle(m_multi, m_easy);
    int running = 1;
    CURLMcode mc = CURLM_OK;
    while (running > 0 && mc == CURLM_OK) {
        mc = curl_multi_perform(m_multi, &running);
        if (running > 0 && mc == CURLM_OK)
            mc = curl_multi_poll(m_multi, nullptr, 0, 10, nullptr);
    }
    int code = mc == CURLM_OK ? int(CURLE_OK) : int(CURLE_RECV_ERROR);
    int left = 0;
    while (CURLMsg *msg = curl_multi_info_read(m_multi, &left))
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == m_easy)
            code = msg->data.result;
    curl_multi_remove_handle(m_multi, m_easy);
    return code;
}

// ---- FTP

TFtpClient::TFtpClient(const TFtpSettings &settings) : m_settings(settings) {}

TFtpClient::~TFtpClient() = default;

void TFtpClient::Disconnect() {
    m_curl.abort();
}

TFetchResult TFtpClient::Get(const QString &remoteName, QByteArray &out) {
    CURL *c = m_curl.easy();
    curl_easy_reset(c);
    commonOptions(c, m_curl);
    // The name goes to RETR as it is: percent-encoded in the URL, and no CWD into its parts.
    const QByteArray url = "ftp://" + hostForUrl(m_settings.host).toUtf8() + ':' +
                           QByteArray::number(m_settings.port) + '/' +
                           QUrl::toPercentEncoding(remoteName);
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    // No SIZE first: the archive service makes its files on request and need not know it.
    curl_easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    // The monitoring server is reached directly, whatever proxy the environment names.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    const QByteArray user = m_settings.user.toUtf8(), password = m_settings.password.toUtf8();
    if (!m_settings.user.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    const QByteArray port = m_settings.externalAddress.isEmpty()
                                ? QByteArray("-")
                                : m_settings.externalAddress.toUtf8();
    curl_easy_setopt(c, CURLOPT_FTPPORT, m_settings.passive ? nullptr : port.constData());
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode code = CURLcode(m_curl.perform());
    const TFetchResult r = resultOf(c, code, errorBuffer, out);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    return r;
}

// ---- HTTP

namespace {

struct THeaderState {
    THttpResult *result = nullptr;
    qint64 storedSize = -1;
    QByteArray status;
    qint64 contentLength = -1;
    bool skipped = false; // the body is not wanted: the transfer was ended on purpose
};

qint64 parseContentLength(const QByteArray &value) {
    const QByteArray v = value.trimmed();
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    return ok && n >= 0 && !v.startsWith('+') ? n : -1;
}

size_t onHeader(char *data, size_t size, size_t n, void *target) {
    auto *s = static_cast<THeaderState *>(target);
    const QByteArray line = QByteArray(data, qsizetype(size * n));
    if (line.startsWith("HTTP/")) {
        // A new answer (after an interim one) starts its header block afresh.
        s->status = line.trimmed();
        s->contentLength = -1;
        return size * n;
    }
    if (line == "\r\n" || line == "\n") {
        const QList<QByteArray> parts = s->status.split(' ');
        const int status = parts.size() > 1 ? parts[1].toInt() : 0;
        if (status >= 100 && status < 200)
            return size * n;
        THttpResult &r = *s->result;
        r.headersRead = true;
        r.status = status;
        r.contentLength = s->contentLength;
        r.alreadyLoaded = status == 200 && r.contentLength > 0 && r.contentLength == s->storedSize;
        if (status != 200 || r.contentLength <= 0 || r.alreadyLoaded) {
            s->skipped = true;
            return 0; // ends the transfer before the body
        }
        return size * n;
    }
    const int colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0)
        s->contentLength = parseContentLength(line.mid(colon + 1));
    return size * n;
}

QString httpBase(const THttpSettings &s) {
    QString host = s.server.trimmed();
    int port = s.port;
    if (host.contains(QLatin1String("://"))) {
        // A URL gives the host and, when it names one, the port; its path is not used.
        const QUrl url(host);
        if (!url.isValid() || url.host().isEmpty())
            return {};
        host = url.host();
        port = url.port(port);
    }
    while (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    if (host.isEmpty() || host.contains(QLatin1Char('/')) || port <= 0 || port > 65535)
        return {};
    return QStringLiteral("http://") + hostForUrl(host) + QLatin1Char(':') + QString::number(port) +
           QLatin1Char('/');
}

} // namespace

THttpClient::THttpClient(const THttpSettings &settings) : m_settings(settings) {
    // With a proxy chosen both its name and its port are needed.
    if (settings.useProxy &&
        (settings.proxyServer.trimmed().isEmpty() || settings.proxyPort.trimmed().isEmpty()))
        return;
    m_base = httpBase(settings);
    if (!m_base.isEmpty())
        m_curl = std::make_unique<TCurlSession>();
}

THttpClient::~THttpClient() = default;

void THttpClient::Disconnect() {
    if (m_curl)
        m_curl->abort();
}

THttpResult THttpClient::Get(const QString &path, qint64 storedSize, QByteArray &body) {
    THttpResult result;
    if (!isOpen()) {
        result.fetch.code = CURLE_FAILED_INIT;
        result.fetch.error = QStringLiteral("no data server");
        result.fetch.connectFailed = true;
        return result;
    }
    CURL *c = m_curl->easy();
    curl_easy_reset(c);
    commonOptions(c, *m_curl);
    const QByteArray url = (m_base + path).toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, url.constData());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "zarnex client");
    curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, "Pragma: no-cache");
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    const QByteArray login = m_settings.login.toUtf8(), password = m_settings.password.toUtf8();
    if (!m_settings.login.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, login.constData());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password.constData());
    }
    const QByteArray proxy = (QStringLiteral("http://") + m_settings.proxyServer.trimmed() +
                              QLatin1Char(':') + m_settings.proxyPort.trimmed())
                                 .toUtf8();
    const QByteArray proxyLogin = m_settings.proxyLogin.toUtf8(),
                     proxyPassword = m_settings.proxyPassword.toUtf8();
    if (m_settings.useProxy) {
        curl_easy_setopt(c, CURLOPT_PROXY, proxy.constData());
        // "Proxy-Authorization: Basic ..." goes with every request, to the proxy only.
        if (!m_settings.proxyLogin.isEmpty() && !m_settings.proxyPassword.isEmpty()) {
            curl_easy_setopt(c, CURLOPT_PROXYAUTH, long(CURLAUTH_BASIC));
            curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, proxyLogin.constData());
            curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, proxyPassword.constData());
        }
    }
    // Without a chosen proxy the environment's (the system's preconfigured access) applies.
    THeaderState state;
    state.result = &result;
    state.storedSize = storedSize;
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
    const CURLcode code = CURLcode(m_curl->perform());
    result.fetch = state.skipped && code == CURLE_WRITE_ERROR
                       ? TFetchResult{}
                       : resultOf(c, code, errorBuffer, body);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return result;
}

// ---- workers

TWorker::~TWorker() {
    if (m_thread.joinable())
        m_thread.join();
}

void TWorker::start(std::function<void()> job) {
    m_thread = std::thread([this, job = std::move(job)] {
        job();
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_executed.store(true, std::memory_order_release);
        }
        m_done.notify_all();
    });
}

void TWorker::wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [this] { return executed(); });
}

TDownloadThread::TDownloadThread(TFtpClient &IdFTP, const QString &FileName, QByteArray &OutStream)
    : FIdFTP(IdFTP), FFileName(FileName), FOutStream(OutStream) {
    m_worker.start([this] { Execute(); });
}

void TDownloadThread::Execute() {
    FErrorCode = 1;
    QByteArray buffer;
    const TFetchResult r = FIdFTP.Get(FFileName, buffer);
    // A peer that resets the connection after sending has sent the file: use what came.
    if (r.code != 0 && !r.peerReset) {
        FErrorDesc = r.error;
        m_connectFailed = r.connectFailed;
        return;
    }
    FErrorCode = 2;
    if (!buffer.isEmpty() && !InflateArchive(buffer, FOutStream, FErrorDesc))
        return;
    FErrorCode = 0;
    FErrorDesc.clear();
}

TDownloadThreadHTTP::TDownloadThreadHTTP(THttpClient &client, const QString &FileName,
                                         qint64 storedSize, QByteArray &OutStream)
    : m_client(client), FFileName(FileName), m_storedSize(storedSize), FOutStream(OutStream) {
    m_worker.start([this] { m_result = m_client.Get(FFileName, m_storedSize, FOutStream); });
}

// ---- decompression

bool InflateArchive(const QByteArray &in, QByteArray &out, QString &error, qint64 limit) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        error = QStringLiteral("Ошибка распаковки архива");
        return false;
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    char chunk[8192];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef *>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        if (out.size() + qint64(sizeof chunk - z.avail_out) > limit) {
            inflateEnd(&z);
            error = QStringLiteral("Архив больше %1 МБ после распаковки").arg(limit >> 20);
            return false;
        }
        out.append(chunk, qsizetype(sizeof chunk - z.avail_out));
        if (rc == Z_BUF_ERROR && z.avail_out != 0)
            break; // the input ended before the stream did
        if (rc == Z_BUF_ERROR)
            rc = Z_OK; // the chunk was full: go on
    }
    const QString message = z.msg ? QString::fromLatin1(z.msg) : QString();
    inflateEnd(&z);
    if (rc == Z_STREAM_END)
        return true;
    error = rc == Z_BUF_ERROR
                ? QStringLiteral("Архив получен не полностью")
                : QStringLiteral("Повреждённый архив") +
                      (message.isEmpty() ? QString() : QStringLiteral(": ") + message);
    return false;
}
