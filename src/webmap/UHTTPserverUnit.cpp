#include "webmap/UHTTPserverUnit.h"

#include "app/Folders.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <httplib.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kServerName[] = "ZarnexClientAutoWebServer";

QByteArray contentTypeFor(const QString &fileName) {
    static const QList<QPair<QString, QByteArray>> types = {
        {QStringLiteral("html"), "text/html"},
        {QStringLiteral("htm"), "text/html"},
        {QStringLiteral("js"), "application/javascript"},
        {QStringLiteral("mjs"), "application/javascript"},
        {QStringLiteral("css"), "text/css"},
        {QStringLiteral("json"), "application/json"},
        {QStringLiteral("xml"), "text/xml"},
        {QStringLiteral("txt"), "text/plain"},
        {QStringLiteral("png"), "image/png"},
        {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("jpeg"), "image/jpeg"},
        {QStringLiteral("gif"), "image/gif"},
        {QStringLiteral("bmp"), "image/bmp"},
        {QStringLiteral("svg"), "image/svg+xml"},
        {QStringLiteral("ico"), "image/x-icon"},
        {QStringLiteral("woff"), "font/woff"},
        {QStringLiteral("woff2"), "font/woff2"},
    };
    const QString ext = QFileInfo(fileName).suffix().toLower();
    for (const auto &t : types)
        if (t.first == ext)
            return t.second;
    return "application/octet-stream";
}

bool isInside(const QString &root, const QString &path) {
    const QString r = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return path.startsWith(r);
}

TWebAnswer forbidden() {
    TWebAnswer a;
    a.Status = 403;
    return a;
}

// The packaged library is built with a fixed listen queue of 5 and offers no setting for it.
// Calling listen() again on the bound socket only changes the queue length, so the server
// lowers it right after the bind, before anything is accepted.
class TLoopbackServer final : public httplib::Server {
public:
    bool setListenQueue(int length) {
        if (::listen(svr_sock_, length) == 0)
            return true;
        // The library closes its socket only when it has been serving.
        ::close(svr_sock_.exchange(INVALID_SOCKET));
        return false;
    }
};

} // namespace

QByteArray DrawObjectLabel(const QString &text) {
    QFont font;
    font.setBold(true);
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();
    const int W = w + 16;
    const int H = h + 24;

    QImage img(W, H, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setFont(font);
        // The box: red fill, a yellow rim, then a thin black outline over it.
        const QRect box(0, 0, w + 16, h + 9);
        p.setBrush(QColor(0xFF, 0, 0));
        p.setPen(QPen(QColor(0xFF, 0xFF, 0), 3));
        p.drawRoundedRect(box.adjusted(1, 1, -2, -2), 5, 5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawRoundedRect(box.adjusted(0, 0, -1, -1), 5, 5);

        p.setPen(QColor(0xFF, 0xFF, 0));
        p.drawText(QRect(8, 4, w, h + 4), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);

        // The pointer from the box down to the tip at the bottom centre.
        const QPoint tip(W / 2, H - 1);
        p.setPen(QPen(QColor(0xFF, 0, 0), 1));
        for (int i = 8; i <= 24; ++i)
            p.drawLine(tip, QPoint(i, H - 16));
        p.drawLine(QPoint(8, H - 16), QPoint(24, H - 16));
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(tip, QPoint(8, H - 16));
        p.drawLine(tip, QPoint(24, H - 16));
    }
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    if (!img.save(&buf, "BMP"))
        return {};
    return out;
}

TWebAnswer AnswerWebRequest(const QString &documentRoot, const QByteArray &path,
                            const QByteArray &objectId) {
    const QString D = QString::fromUtf8(path);
    if (D.size() < 2 || path.contains('\0'))
        return forbidden();

    const QString root = QDir::cleanPath(QDir(documentRoot).absolutePath());
    const QString full = QDir::cleanPath(root + QLatin1Char('/') + D);
    const QString rel = QDir(root).relativeFilePath(full);
    if (rel.contains(QLatin1String("..")) || !isInside(root, full))
        return forbidden();

    if (D.compare(QLatin1String("/objects/image.bmp"), Qt::CaseInsensitive) == 0) {
        TWebAnswer a;
        a.Body = DrawObjectLabel(QString::fromUtf8(objectId));
        if (a.Body.isEmpty())
            return a; // 404
        a.Status = 200;
        a.ContentType = "image/bmp";
        a.Headers.append(QPair<QByteArray, QByteArray>("Content-Disposition", " "));
        return a;
    }

    TWebAnswer a;
    a.Headers.append(QPair<QByteArray, QByteArray>("Cache-Control", "no-cache"));
    const QFileInfo fi(full);
    if (!fi.isFile())
        return a; // 404
    // A link inside the folder must not lead out of it either, except into the system's shared
    // JavaScript libraries: an installed program links Debian's Leaflet instead of a copy.
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString target = fi.canonicalFilePath();
    if (!isInside(canonicalRoot, target) &&
        !isInside(QStringLiteral("/usr/share/javascript"), target)) {
        a.Status = 403;
        return a;
    }
    QFile f(full);
    if (!f.open(QIODevice::ReadOnly))
        return a;
    a.Body = f.readAll();
    a.Status = 200;
    a.ContentType = contentTypeFor(full);
    const QString lower = full.toLower();
    if (lower.endsWith(QLatin1String(".htm")) || lower.endsWith(QLatin1String(".html"))) {
        a.Headers.append(QPair<QByteArray, QByteArray>("Content-Disposition", " "));
        a.ContentType += "; charset=utf-8";
    }
    return a;
}

TdmHTTPServer::TdmHTTPServer() = default;

TdmHTTPServer::~TdmHTTPServer() {
    StopServer();
}

bool TdmHTTPServer::StartHTTPServer(int Port) {
    StopServer();
    if (Port < 1 || Port > 65535)
        return false;
    try {
        auto server = std::make_unique<TLoopbackServer>();
        // SO_REUSEADDR only: the library's default SO_REUSEPORT would let a second server
        // share a port that is already taken, and the port search would never move on.
        server->set_socket_options([](socket_t sock) {
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
        });
        server->new_task_queue = [] { return new httplib::ThreadPool(WorkerCount); };
        // Short keep-alive, so that idle browser connections do not hold both workers.
        server->set_keep_alive_timeout(1);
        const QString root = DocumentRoot;
        server->Get(".*", [root](const httplib::Request &req, httplib::Response &res) {
            QByteArray id;
            if (req.has_param("objectID"))
                id = QByteArray::fromStdString(req.get_param_value("objectID"));
            const TWebAnswer a = AnswerWebRequest(root, QByteArray::fromStdString(req.path), id);
            res.status = a.Status;
            res.set_header("Server", kServerName);
            for (const auto &h : a.Headers)
                res.set_header(h.first.toStdString(), h.second.toStdString());
            if (a.Status == 200)
                res.set_content(a.Body.constData(), size_t(a.Body.size()),
                                a.ContentType.toStdString());
        });
        if (!server->bind_to_port("127.0.0.1", Port) || !server->setListenQueue(ListenQueue))
            return false;
        httplib::Server *s = server.get();
        m_thread = std::thread([s] { s->listen_after_bind(); });
        m_server = std::move(server);
        m_running = true;
        m_port = quint16(Port);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void TdmHTTPServer::StopServer() {
    if (m_server)
        m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
    m_running = false;
}

bool TdmHTTPServer::IsHTTPServerRunning() const {
    return m_running;
}

quint16 TdmHTTPServer::GetHTTPServerPort() const {
    return m_port;
}

QList<int> WebServerPortCandidates(int Port, int count) {
    QList<int> out;
    for (int p = Port; p <= 65535 && out.size() < count; ++p)
        out << p;
    for (int p = Port - 1; out.size() < count; --p)
        out << p;
    return out;
}

int StartLocalWebServer(TdmHTTPServer &server, int Port, TDialogs &dialogs) {
    server.StopServer();
    server.DocumentRoot = WebServerDir();
    for (int p : WebServerPortCandidates(Port)) {
        if (server.StartHTTPServer(p))
            return p;
    }
    dialogs.message(QStringLiteral("Не удалось запустить web-сервер. Проверьте настройки "
                                   "сетевого экрана.\r\nРабота с интернет-картами недоступна!"),
                    QStringLiteral("Ошибка запуска сервера"), TMsgIcon::Warning);
    return -1;
}
