// The archive's file lists: received compressed (a zlib stream) or plain, cut into lines, each
// line an entry naming a file below the data folder.
#include "FuzzCommon.h"

#include "archive/DownloadObjectData.h"
#include "archive/Transfers.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first byte says whether the rest is compressed.
    if (size < 1)
        return 0;
    QByteArray list(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        QByteArray out;
        QString error;
        constexpr qint64 limit = 1 << 20;
        if (!InflateArchive(list, out, error, limit) && error.isEmpty())
            fuzz::broken("a failed decompression without a reason");
        if (out.size() > limit)
            fuzz::broken("decompressed beyond the limit");
        list = out;
    }
    const QString dataDir = QStringLiteral("/data/");
    for (const QString &line : FileListLines(list)) {
        const std::optional<TListEntry> e = ParseListEntry(line);
        if (!e)
            continue;
        // The stored file stays in the object's own folder, whatever the line said.
        const QString folder = dataDir + QString::number(e->number) + QLatin1Char('/');
        const QString stored = QDir::cleanPath(dataDir + e->local);
        if (e->number <= 0 || !stored.startsWith(folder) ||
            stored.indexOf(QLatin1Char('/'), folder.size()) >= 0 || stored != dataDir + e->local)
            fuzz::broken("a list entry stored outside its object's folder");
        if (e->size < 0)
            fuzz::broken("a negative size");
    }
    return 0;
}
