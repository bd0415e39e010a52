// The local web server's answer to a request path (as the server has decoded it) and the
// object label query. Whatever the path, nothing outside the served folder is ever sent.
#include "FuzzCommon.h"

#include "webmap/UHTTPserverUnit.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#include <set>

namespace {

QString g_root;
std::set<QByteArray> g_inside; // the contents of the files the server may send

void put(const QString &path, const QByteArray &content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        std::abort();
    f.write(content);
}

} // namespace

// The system's font configuration library keeps what it has looked up for the rest of the run.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv); // the label is drawn with a font
    const QString top = fuzz::scratchDir();
    g_root = top + QStringLiteral("www");
    const QByteArray index = "<html>index</html>", script = "var a = 1;";
    put(g_root + QStringLiteral("/index.html"), index);
    put(g_root + QStringLiteral("/js/a.js"), script);
    put(top + QStringLiteral("secret.txt"), "outside the served folder");
    put(top + QStringLiteral("www-other/b.txt"), "a sibling whose name starts like the root");
    // Links inside the folder: one to a file inside, one leading out of it.
    QFile::link(g_root + QStringLiteral("/index.html"), g_root + QStringLiteral("/same.html"));
    QFile::link(top + QStringLiteral("secret.txt"), g_root + QStringLiteral("/out.txt"));
    QFile::link(top, g_root + QStringLiteral("/up"));
    g_inside = {index, script};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray in(reinterpret_cast<const char *>(data), qsizetype(size));
    // The path up to the first line feed, then the object label (a short one).
    const qsizetype nl = in.indexOf('\n');
    const QByteArray path = nl < 0 ? in : in.left(nl);
    const QByteArray id = nl < 0 ? QByteArray() : in.mid(nl + 1, 64);
    const TWebAnswer a = AnswerWebRequest(g_root, path, id);
    const bool label = QString::fromUtf8(path).compare(QStringLiteral("/objects/image.bmp"),
                                                       Qt::CaseInsensitive) == 0;
    if (a.Status == 200 && !label && !g_inside.count(a.Body))
        fuzz::broken("a file from outside the served folder was sent");
    return 0;
}
