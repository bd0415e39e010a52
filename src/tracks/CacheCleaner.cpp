#include "tracks/CacheCleaner.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "tracks/FileManager.h"

namespace {

const QString FailurePrefix = QStringLiteral("Ошибка удаления файлов: ");

void deleteTree(const QByteArray &path) {
    DIR *dir = ::opendir(path.constData());
    if (!dir) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return;
        throw ETrackCacheError((FailurePrefix + QString::fromLocal8Bit(std::strerror(err)) +
                                QStringLiteral(" (") + QFile::decodeName(path) +
                                QStringLiteral(")"))
                                   .toStdString());
    }
    try {
        while (dirent *entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            const QByteArray child = path + '/' + name;
            struct stat st {};
            if (::lstat(child.constData(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                // "." and ".." have a dot, and so has any other folder kept here on purpose.
                if (!name.contains('.'))
                    deleteTree(child);
            } else {
                ::unlink(child.constData()); // a link is removed, never followed
            }
        }
    } catch (...) {
        ::closedir(dir);
        throw;
    }
    ::closedir(dir);
    ::rmdir(path.constData());
}

} // namespace

void DeleteCacheFolder(const QString &folder) {
    QByteArray path = QFile::encodeName(folder);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path.isEmpty() || path == "/")
        return; // folders not set up: never clear from the root
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return;
    if (!S_ISDIR(st.st_mode)) {
        // The folder itself is a link (or a stray file): remove the entry, keep its target.
        ::unlink(path.constData());
        return;
    }
    deleteTree(path);
}

void ClearCache(TFManager *fmngr, TDialogs &dialogs) {
    const QString caption = QStringLiteral("Очистка кэша");
    if (dialogs.question(QStringLiteral("Удалить файлы координат и данных с приборов?"), caption,
                           TMsgIcon::Question, mbYes | mbNo, mbNo) != mbYes)
        return;
    try {
        DeleteCacheFolder(DataDir());
        DeleteCacheFolder(CoordCacheDir());
    } catch (const std::exception &e) {
        if (fmngr)
            fmngr->dropCache();
        dialogs.message(QString::fromStdString(e.what()), caption, TMsgIcon::Error);
        return;
    }
    if (fmngr)
        fmngr->dropCache();
    dialogs.message(QStringLiteral("Очистка кэша выполнена."), caption, TMsgIcon::Information);
}
