#include "app/Folders.h"
#include "common/ScriptedDialogs.h"
#include "webmap/UHTTPserverUnit.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace {

struct THttpReply {
    long status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    QByteArray body;
};

size_t onBody(char *p, size_t size, size_t n, void *user) {
    static_cast<QByteArray *>(user)->append(p, qsizetype(size * n));
    return size * n;
}

size_t onHeader(char *p, size_t size, size_t n, void *user) {
    const std::string line(p, size * n);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (auto &c : name)
            c = char(tolower(c));
        std::string value = line.substr(colon + 1);
        // Keep inner blanks: a Content-Disposition of a single blank is a value of its own.
        while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
            value.pop_back();
        if (!value.empty() && value.front() == ' ')
            value.erase(0, 1);
        (*static_cast<std::map<std::string, std::string> *>(user))[name] = value;
    }
    return size * n;
}

// A real client; the path goes out exactly as given ("..", case and all).
THttpReply httpGet(int port, const std::string &pathAndQuery) {
    THttpReply r;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> c(curl_easy_init(), curl_easy_cleanup);
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
    curl_easy_setopt(c.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(c.get(), CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(c.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c.get(), CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &r.body);
    curl_easy_setopt(c.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(c.get(), CURLOPT_HEADERDATA, &r.headers);
    if (curl_easy_perform(c.get()) == CURLE_OK)
        curl_easy_getinfo(c.get(), CURLINFO_RESPONSE_CODE, &r.status);
    return r;
}

// Holds a loopback port the way another program would (no port sharing).
class TPortHolder {
public:
    explicit TPortHolder(int port) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(quint16(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
            ::listen(m_fd, 1) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~TPortHolder() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

struct TListener {
    QString address;
    int queue = 0; // the listen queue's length, as `ss -lt` shows it under Send-Q
};

// The IPv4 TCP sockets listening on port, as the kernel reports them.
std::vector<TListener> listenersOn(int port) {
    std::vector<TListener> out;
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return out;
    struct {
        nlmsghdr nlh;
        inet_diag_req_v2 req;
    } msg{};
    msg.nlh.nlmsg_len = sizeof msg;
    msg.nlh.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    msg.nlh.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    msg.req.sdiag_family = AF_INET;
    msg.req.sdiag_protocol = IPPROTO_TCP;
    msg.req.idiag_states = 1u << TCP_LISTEN;
    if (::send(fd, &msg, sizeof msg, 0) == ssize_t(sizeof msg)) {
        alignas(nlmsghdr) char buf[32768];
        for (bool done = false; !done;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            int left = int(n);
            for (auto *h = reinterpret_cast<nlmsghdr *>(buf); NLMSG_OK(h, left);
                 h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                    done = true;
                    break;
                }
                const auto *m = static_cast<const inet_diag_msg *>(NLMSG_DATA(h));
                if (ntohs(m->id.idiag_sport) != port)
                    continue;
                char addr[INET_ADDRSTRLEN] = {};
                inet_ntop(AF_INET, m->id.idiag_src, addr, sizeof addr);
                out.push_back({QString::fromLatin1(addr), int(m->idiag_wqueue)});
            }
        }
    }
    ::close(fd);
    return out;
}

class WebServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        const QString base = tmp.path() + QLatin1Char('/');
        root = base + QStringLiteral("webmap/");
        ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("img")));
        write(root + QStringLiteral("google.html"), page);
        write(root + QStringLiteral("img/dot.png"), QByteArray("\x89PNG\r\n\x1a\n-dot", 12));
        write(base + QStringLiteral("secret.txt"), "secret");
        ASSERT_TRUE(
            QFile::link(base + QStringLiteral("secret.txt"), root + QStringLiteral("link.txt")));
        TFolders f;
        f.AppDir = base;
        f.WebServerDir = root;
        SetFolders(f);
    }
    void TearDown() override { server.StopServer(); }

    static void write(const QString &name, const QByteArray &bytes) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A running server on some free port of the loopback interface.
    int start() {
        TScriptedDialogs d;
        const TPortHolder probe(0); // an ephemeral port that was free a moment ago
        const int port = StartLocalWebServer(server, probe.port() + 1, d);
        EXPECT_TRUE(d.calls.empty());
        EXPECT_GT(port, 0);
        return port;
    }

    QTemporaryDir tmp;
    QString root;
    TdmHTTPServer server;
    const QByteArray page = QStringLiteral("<html><body>Карта</body></html>").toUtf8();
};

TEST_F(WebServerTest, ServesPagesWithCharsetAndNoCache) {
    const int port = start();
    THttpReply r = httpGet(port, "/google.html");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, page);
    EXPECT_EQ(r.headers["content-type"], "text/html; charset=utf-8");
    EXPECT_EQ(r.headers["cache-control"], "no-cache");
    EXPECT_EQ(r.headers["server"], "ZarnexClientAutoWebServer");
    EXPECT_TRUE(r.headers.count("content-disposition"));

    THttpReply img = httpGet(port, "/img/dot.png");
    EXPECT_EQ(img.status, 200);
    EXPECT_EQ(img.headers["content-type"], "image/png");
    EXPECT_EQ(img.body.size(), 12);
    EXPECT_EQ(img.headers.count("content-disposition"), 0u);
}

TEST_F(WebServerTest, ListensOnlyOnLoopbackWithAQueueOfOne) {
    const int port = start();
    const std::vector<TListener> l = listenersOn(port);
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].address, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(l[0].queue, 1);
    EXPECT_EQ(httpGet(port, "/google.html").status, 200);
}

TEST_F(WebServerTest, RefusesRootAndEverythingOutsideTheFolder) {
    const int port = start();
    const struct {
        const char *path;
        long status;
    } cases[] = {
        {"/", 403},
        {"/missing.html", 404},
        {"/img/", 404},
        {"/../secret.txt", 403},
        {"/../nothing-there.txt", 403}, // climbing out is refused, not just "not found"
        {"/img/../../secret.txt", 403},
        {"/%2e%2e/secret.txt", 403},
        {"/img/..%2F..%2Fsecret.txt", 403},
        {"/link.txt", 403}, // a link inside the folder pointing out of it
        {"/google.html%00.png", 403},
        {"/img/../google.html", 200}, // stays inside: allowed
    };
    for (const auto &c : cases) {
        THttpReply r = httpGet(port, c.path);
        EXPECT_EQ(r.status, c.status) << c.path;
        EXPECT_FALSE(r.body.contains("secret")) << c.path;
    }
}

// The installed program links Debian's Leaflet (libjs-leaflet) into its web-map folder.
TEST_F(WebServerTest, LinksMayLeadIntoTheSystemJavaScriptLibrariesOnly) {
    const QString leaflet = QStringLiteral("/usr/share/javascript/leaflet");
    ASSERT_TRUE(QFileInfo(leaflet + QStringLiteral("/leaflet.js")).isFile())
        << "libjs-leaflet is not installed (scripts/install-deps.sh)";
    ASSERT_TRUE(QFile::link(leaflet, root + QStringLiteral("leaflet")));
    ASSERT_TRUE(
        QFile::link(leaflet + QStringLiteral("/leaflet.css"), root + QStringLiteral("l.css")));
    // Through the libraries' folder and back out of it.
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/share/javascript/../../../etc/passwd"),
                            root + QStringLiteral("out.txt")));
    const int port = start();
    QFile js(leaflet + QStringLiteral("/leaflet.js"));
    ASSERT_TRUE(js.open(QIODevice::ReadOnly));
    THttpReply r = httpGet(port, "/leaflet/leaflet.js");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, js.readAll());
    EXPECT_EQ(httpGet(port, "/leaflet/images/marker-icon.png").status, 200);
    EXPECT_EQ(httpGet(port, "/l.css").status, 200);
    EXPECT_EQ(httpGet(port, "/out.txt").status, 403);
    EXPECT_EQ(httpGet(port, "/link.txt").status, 403);
}

TEST_F(WebServerTest, LabelPictureCarriesTheDecodedText) {
    const int port = start();
    QFont font;
    font.setBold(true);
    const QFontMetrics fm(font);

    const struct {
        const char *query;
        QString text;
    } cases[] = {
        {"/OBJECTS/IMAGE.BMP?objectID=12", QStringLiteral("12")},
        // UTF-8 percent-encoded: "Тепловоз 7"
        {"/objects/image.bmp?objectID=%D0%A2%D0%B5%D0%BF%D0%BB%D0%BE%D0%B2%D0%BE%D0%B7%207",
         QStringLiteral("Тепловоз 7")},
    };
    for (const auto &c : cases) {
        THttpReply r = httpGet(port, c.query);
        ASSERT_EQ(r.status, 200) << c.query;
        EXPECT_EQ(r.headers["content-type"], "image/bmp");
        EXPECT_TRUE(r.body.startsWith("BM"));
        const QImage img = QImage::fromData(r.body, "BMP");
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.width(), fm.horizontalAdvance(c.text) + 16) << c.query;
        EXPECT_EQ(img.height(), fm.height() + 24);
        // Red box, a yellow text pixel inside it, and the pointer's tip at the bottom centre.
        EXPECT_EQ(QColor(img.pixel(img.width() - 6, fm.height() / 2 + 4)), QColor(0xFF, 0, 0));
        bool yellowText = false;
        for (int y = 5; y < fm.height() + 4 && !yellowText; ++y)
            for (int x = 9; x < img.width() - 9 && !yellowText; ++x)
                yellowText = QColor(img.pixel(x, y)) == QColor(0xFF, 0xFF, 0);
        EXPECT_TRUE(yellowText);
        EXPECT_NE(QColor(img.pixel(img.width() / 2, img.height() - 1)), QColor(Qt::white));
        EXPECT_EQ(QColor(img.pixel(img.width() - 1, img.height() - 1)), QColor(Qt::white));
    }
    // Different texts give different pictures.
    EXPECT_NE(httpGet(port, "/objects/image.bmp?objectID=12").body,
              httpGet(port, "/objects/image.bmp?objectID=13").body);
}

TEST_F(WebServerTest, ManyClientsAtOnceAreAllAnswered) {
    // Two workers; more clients than that wait their turn and every picture is drawn whole.
    const int port = start();
    std::vector<THttpReply> replies(6); // as many as a browser opens to one host
    std::vector<std::thread> clients;
    for (size_t i = 0; i < replies.size(); ++i)
        clients.emplace_back([&, i] {
            replies[i] = httpGet(port, i % 2 ? "/google.html"
                                             : "/objects/image.bmp?objectID=" + std::to_string(i));
        });
    for (auto &t : clients)
        t.join();
    for (size_t i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(replies[i].status, 200) << i;
        if (i % 2 == 0)
            EXPECT_FALSE(QImage::fromData(replies[i].body, "BMP").isNull()) << i;
        else
            EXPECT_EQ(replies[i].body, page);
    }
}

TEST(WebServerPorts, CandidatesGoUpThenDownFromTheTop) {
    auto range = [](int from, int to) {
        QList<int> l;
        for (int p = from; from <= to ? p <= to : p >= to; from <= to ? ++p : --p)
            l << p;
        return l;
    };
    EXPECT_EQ(WebServerPortCandidates(2223), range(2223, 2242));
    EXPECT_EQ(WebServerPortCandidates(65530), range(65530, 65535) + range(65529, 65516));
    EXPECT_EQ(WebServerPortCandidates(65535), QList<int>{65535} + range(65534, 65516));
}

TEST_F(WebServerTest, MovesOnFromTakenPorts) {
    const TPortHolder taken(0);
    ASSERT_TRUE(taken.ok());
    TScriptedDialogs d;
    const int port = StartLocalWebServer(server, taken.port(), d);
    EXPECT_TRUE(d.calls.empty());
    EXPECT_NE(port, taken.port());
    EXPECT_TRUE(WebServerPortCandidates(taken.port()).contains(port));
    EXPECT_EQ(server.GetHTTPServerPort(), port);
    EXPECT_TRUE(server.IsHTTPServerRunning());
    EXPECT_EQ(httpGet(port, "/google.html").status, 200);

    // A port this server holds is taken for a second one as well.
    TdmHTTPServer second;
    second.DocumentRoot = root;
    EXPECT_FALSE(second.StartHTTPServer(port));
    EXPECT_FALSE(second.IsHTTPServerRunning());
    EXPECT_EQ(second.GetHTTPServerPort(), TdmHTTPServer::DefaultPort);

    server.StopServer();
    EXPECT_FALSE(server.IsHTTPServerRunning());
    EXPECT_EQ(httpGet(port, "/google.html").status, 0); // nobody listens any more
}

TEST_F(WebServerTest, TopPortTakenTriesTheOneBelow) {
    const TPortHolder top(65535);
    if (!top.ok() || !TPortHolder(65534).ok())
        GTEST_SKIP() << "ports 65535/65534 are in use here";
    TScriptedDialogs d;
    EXPECT_EQ(StartLocalWebServer(server, 65535, d), 65534);
    EXPECT_TRUE(d.calls.empty());
    EXPECT_EQ(httpGet(65534, "/google.html").status, 200);
}

TEST_F(WebServerTest, AllTwentyPortsTakenShowsTheMessage) {
    // Find twenty consecutive ports we can hold; a bounded search.
    std::vector<std::unique_ptr<TPortHolder>> held;
    int base = 0;
    for (int attempt = 0; attempt < 20 && held.size() < 20; ++attempt) {
        held.clear();
        base = std::min(TPortHolder(0).port(), 65535 - 40);
        for (int p = base; p < base + 20; ++p) {
            auto h = std::make_unique<TPortHolder>(p);
            if (!h->ok())
                break;
            held.push_back(std::move(h));
        }
    }
    ASSERT_EQ(held.size(), 20u);
    TScriptedDialogs d;
    EXPECT_EQ(StartLocalWebServer(server, base, d), -1);
    EXPECT_FALSE(server.IsHTTPServerRunning());
    ASSERT_EQ(d.calls.size(), 1u);
    EXPECT_EQ(d.calls[0].kind, QStringLiteral("message"));
    EXPECT_EQ(d.calls[0].text,
              QStringLiteral("Не удалось запустить web-сервер. Проверьте настройки "
                             "сетевого экрана.\r\nРабота с интернет-картами "
                             "недоступна!"));
    EXPECT_EQ(d.calls[0].caption, QStringLiteral("Ошибка запуска сервера"));
    EXPECT_EQ(d.calls[0].icon, TMsgIcon::Warning);
}

} // namespace
