#pragma once

// The servers of the archive download tests, each a child process on loopback that prints its
// port first: the archive FTP service the simulator ships (pyftpdlib), and the data server and
// the proxy of http_servers.py.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

class TPyServer {
public:
    TPyServer(const QString &script, const QStringList &args) {
        // Debian's pyftpdlib is found by the system's interpreter only.
        m_process.start(QStringLiteral("/usr/bin/python3"), QStringList{script} + args);
        if (!m_process.waitForStarted(5000))
            return;
        while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
        }
        bool ok = false;
        m_port = QString::fromLatin1(m_process.readLine()).trimmed().toInt(&ok);
        if (!ok)
            m_port = 0;
    }
    ~TPyServer() {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    int port() const { return m_port; }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    int m_port = 0;
};

// The archive FTP service serving root (day files as root/<number>/<yyyymmdd>.dat) to
// login "arch", password "pw", with the test switches given.
inline std::unique_ptr<TPyServer> startFtp(const QString &root, const QStringList &extra = {}) {
    auto s = std::make_unique<TPyServer>(
        QStringLiteral(ZARNEX_TOOLS_DIR "/zarnex-archive-ftp.py"),
        QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--root"), root,
                    QStringLiteral("--account"), QStringLiteral("arch:pw")} +
            extra);
    EXPECT_GT(s->port(), 0) << "the archive FTP service did not start: "
                            << s->errors().toStdString();
    return s;
}

inline std::unique_ptr<TPyServer> startHttp(const QStringList &args) {
    auto s = std::make_unique<TPyServer>(
        QStringLiteral(ZARNEX_SOURCE_DIR "/tests/archive/http_servers.py"), args);
    EXPECT_GT(s->port(), 0) << "the HTTP test server did not start: " << s->errors().toStdString();
    return s;
}
