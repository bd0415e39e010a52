#pragma once

#include "ObjectSim.h"

#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <vector>

// The archive the monitoring server keeps: every simulated object's day files (device data
// records, UTC, every stepSeconds) for the given number of days before today and today up to
// now, written as dir/<number>/<yyyymmdd>.dat. The records follow the same story as the
// on-line packets (the seed and the date decide it); without a fix a record's position is 0/0.
// Returns the number of files written.
int WriteArchive(const QString &dir, const std::vector<TObjectConfig> &objects, int days,
                 const QDateTime &nowUtc, double stepSeconds = 20, uint64_t seed = 1);

// The server's FTP archive service on 127.0.0.1 (zarnex-archive-ftp, beside this program),
// serving the archive under the monitoring server's accounts. It ends with this object, or
// by itself when this process ends.
class TArchiveService {
public:
    ~TArchiveService();
    // dir empty: a temporary folder, removed at the end. False with error text.
    bool start(int port, const QString &dir, const std::vector<TObjectConfig> &objects, int days,
               const std::map<QString, QString> &accounts, uint64_t seed, QString &error);
    int port() const { return m_port; }
    const QString &folder() const { return m_folder; }

private:
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_folder;
    QProcess m_process;
    int m_port = 0;
};
