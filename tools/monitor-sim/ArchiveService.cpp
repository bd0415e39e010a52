#include "ArchiveService.h"

#include "PacketEncoder.h"
#include "tracks/DeviceData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>

int WriteArchive(const QString &dir, const std::vector<TObjectConfig> &objects, int days,
                 const QDateTime &nowUtc, double stepSeconds, uint64_t seed) {
    int files = 0;
    const QDate today = nowUtc.date();
    const double now = nowUtc.toMSecsSinceEpoch() / 1000.0;
    for (const TObjectConfig &config : objects) {
        const TObjectSim sim(config, seed);
        const QString folder = dir + QLatin1Char('/') + QString::number(config.number);
        QDir().mkpath(folder);
        for (int back = days; back >= 0; --back) {
            const QDate day = today.addDays(-back);
            const double first = QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() / 1000.0;
            const double last = std::min(first + 86400, now);
            QByteArray bytes;
            for (double t = first; t < last; t += stepSeconds) {
                const TObjectState s = sim.stateAt(t);
                const QDateTime at = QDateTime::fromMSecsSinceEpoch(qint64(t * 1000), Qt::UTC);
                const QDate d = at.date();
                const QTime tm = at.time();
                TDeviceRecord r;
                r.time =
                    dt::encode(d.year(), d.month(), d.day(), tm.hour(), tm.minute(), tm.second());
                if (!s.gpsLost)
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
                            int days, const std::map<QString, QString> &accounts, uint64_t seed,
                            QString &error) {
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
    WriteArchive(m_folder, objects, days, QDateTime::currentDateTimeUtc(), 20, seed);

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
