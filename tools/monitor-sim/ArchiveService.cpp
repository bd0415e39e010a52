#include "ArchiveService.h"

#include "PacketEncoder.h"
#include "tracks/DeviceData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>

int WriteArchive(const QString &dir, const std::vector<TObjectConfig> &objects, int days,
                 const QDateTime &nowUtc, double stepSeconds) {
    int files = 0;
    const QDate today = nowUtc.date();
    for (const TObjectConfig &config : objects) {
        const TObjectSim sim(config);
        const QString folder = dir + QLatin1Char('/') + QString::number(config.number);
        QDir().mkpath(folder);
        for (int back = days; back >= 0; --back) {
            const QDate day = today.addDays(-back);
            const QDateTime dayStart(day, QTime(0, 0), Qt::UTC);
            // The on-line packets carry the time since the start: the archive lies before it.
            const double first = double(nowUtc.secsTo(dayStart));
            const double last = std::min(first + 86400, 0.0);
            QByteArray bytes;
            for (double t = first; t < last; t += stepSeconds) {
                const TObjectState s = sim.stateAt(t);
                const QDateTime at = dayStart.addMSecs(qint64((t - first) * 1000));
                const QDate d = at.date();
                const QTime tm = at.time();
                TDeviceRecord r;
                r.time =
                    dt::encode(d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second());
                r.position = TGeoCoords{s.lat, s.lon};
                TBytes state = TPacketEncoder::stateFor(s, config.form);
                state += static_cast<char>(TPacketEncoder::checksum(state));
                r.state = QByteArray(state.data(), qsizetype(state.size()));
                bytes += r.toBytes();
            }
            if (bytes.isEmpty())
                continue;
            QFile f(folder + QLatin1Char('/') + day.toString(QStringLiteral("yyyyMMdd")) +
                    QStringLiteral(".dat"));
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                f.write(bytes) == bytes.size())
                ++files;
        }
    }
    return files;
}

TArchiveService::~TArchiveService() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(2000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool TArchiveService::start(int port, const QString &dir, const std::vector<TObjectConfig> &objects,
                            int days, const std::map<QString, QString> &accounts, QString &error) {
    if (dir.isEmpty()) {
        m_temp = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                 QStringLiteral("/zarnex-archive-XXXXXX"));
        if (!m_temp->isValid()) {
            error = QStringLiteral("cannot create a folder for the archive");
            return false;
        }
        m_folder = m_temp->path();
    } else {
        m_folder = QDir(dir).absolutePath();
    }
    WriteArchive(m_folder, objects, days, QDateTime::currentDateTimeUtc());

    QStringList args{
        QCoreApplication::applicationDirPath() + QStringLiteral("/zarnex-archive-ftp.py"),
        QStringLiteral("--port"), QString::number(port), QStringLiteral("--root"), m_folder};
    for (const auto &[login, password] : accounts)
        args << QStringLiteral("--account") << login + QLatin1Char(':') + password;
    // Debian's pyftpdlib is found by the system's interpreter only.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("/usr/bin/python3"), args);
    if (!m_process.waitForStarted(5000)) {
        error = QStringLiteral("cannot start the archive FTP service: ") + m_process.errorString();
        return false;
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    bool ok = false;
    m_port = QString::fromLatin1(m_process.readLine()).trimmed().toInt(&ok);
    if (!ok) {
        m_process.waitForFinished(1000);
        error = QStringLiteral("the archive FTP service did not start on 127.0.0.1:%1 "
                               "(is python3-pyftpdlib installed?)")
                    .arg(port);
        return false;
    }
    return true;
}
