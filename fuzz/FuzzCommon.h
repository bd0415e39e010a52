#pragma once

// Shared by the fuzz targets: a scratch folder for parsers that read files (in memory when
// /dev/shm can take it), and a way to stop on a broken promise.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzz {

inline const QString &scratchDir() {
    static std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        auto d = QFileInfo(shm).isWritable()
                     ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/zarnex-fuzz-XXXXXX"))
                     : std::make_unique<QTemporaryDir>();
        if (!d->isValid())
            std::abort();
        return d;
    }();
    static const QString path = dir->path() + QLatin1Char('/');
    return path;
}

inline QString writeScratch(const QString &name, const uint8_t *data, size_t size) {
    const QString path = scratchDir() + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

// A property the code under test promised does not hold: a finding.
[[noreturn]] inline void broken(const char *what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

} // namespace fuzz
