#include "tracks/TrackAppender.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxTails = 50000; // one per object and day: forgetting them only costs a look

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

TFileIdentity identityOf(const struct stat &st) {
    TFileIdentity id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    return id;
}

bool strictlyAscending(const std::vector<TCoordData> &v) {
    for (size_t i = 1; i < v.size(); ++i)
        if (!(v[i - 1].ts < v[i].ts))
            return false;
    return true;
}

bool writeAll(int fd, const QByteArray &bytes, int &err) {
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

TTrackAppender::~TTrackAppender() {
    try {
        sync();
    } catch (...) {
        // Closing down: what could not be synced stays in the page cache.
    }
}

bool TTrackAppender::lookAt(const QString &fileName, TTail &tail) {
    tail = {};
    const QByteArray path = QFile::encodeName(fileName);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        tail.id.size = -1;
        return errno == ENOENT;
    }
    if (st.st_size % TCoordData::RecordSize != 0)
        return false; // a torn last record: the rewrite drops it
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Only the times are looked at: the file must be in strictly ascending order for an append
    // to keep it so.
    constexpr int kChunkRecords = 4096;
    std::vector<unsigned char> buf(size_t(kChunkRecords) * TCoordData::RecordSize);
    bool ordered = true, any = false;
    double last = 0;
    long long left = st.st_size;
    while (left > 0 && ordered) {
        const size_t want = size_t(std::min<long long>(left, (long long)buf.size()));
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::read(fd, buf.data() + got, want - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        if (got != want) {
            ordered = false;
            break;
        }
        for (size_t off = 0; off < got; off += TCoordData::RecordSize) {
            double ts;
            std::memcpy(&ts, buf.data() + off + 32, sizeof ts);
            if (any && !(last < ts)) {
                ordered = false;
                break;
            }
            last = ts;
            any = true;
        }
        left -= (long long)got;
    }
    struct stat after {};
    const bool same = ::fstat(fd, &after) == 0 && identityOf(after) == identityOf(st);
    ::close(fd);
    if (!ordered || !same)
        return false;
    tail.id = identityOf(st);
    tail.empty = !any;
    tail.lastTs = last;
    return true;
}

void TTrackAppender::rewrite(const QString &fileName, const std::vector<TCoordData> &records) {
    m_tails.remove(fileName);
    m_lastWay = TWay::Rewritten;
    TTrackFile *f = m_registry.get(fileName);
    try {
        f->load();
        for (const TCoordData &c : records)
            f->coords.push_back(c);
    } catch (...) {
        m_registry.FreeFile(fileName, false);
        throw;
    }
    m_registry.FreeFile(fileName, true);
}

void TTrackAppender::append(const QString &fileName, const std::vector<TCoordData> &records,
                            bool durable) {
    m_lastWay = TWay::Nothing;
    if (records.empty())
        return;
    if (m_registry.isOpen(fileName) || !strictlyAscending(records)) {
        rewrite(fileName, records);
        return;
    }
    const QByteArray path = QFile::encodeName(fileName);
    TTail tail;
    bool known = false;
    if (auto it = m_tails.constFind(fileName); it != m_tails.constEnd()) {
        struct stat st {};
        const bool exists = ::stat(path.constData(), &st) == 0;
        const TFileIdentity now = exists ? identityOf(st) : TFileIdentity{0, 0, -1, 0, 0};
        if (now == it->id) {
            tail = *it;
            known = true;
        }
    }
    if (!known && !lookAt(fileName, tail)) {
        rewrite(fileName, records);
        return;
    }
    if (!tail.empty && !(tail.lastTs < records.front().ts)) {
        rewrite(fileName, records);
        return;
    }

    if (tail.id.size < 0) {
        const QString folder = QFileInfo(fileName).path();
        if (!folder.isEmpty() && !QFileInfo::exists(folder))
            QDir().mkdir(folder); // one level, as the registry's load does
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw ETrackFileError(systemError(errno).toStdString());
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size != std::max(tail.id.size, 0LL)) {
        // Changed between the look and the open: the registry's way sorts it out.
        ::close(fd);
        rewrite(fileName, records);
        return;
    }
    const long long oldSize = st.st_size;
    QByteArray bytes(qsizetype(records.size()) * TCoordData::RecordSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(bytes.data());
    for (const TCoordData &c : records) {
        c.toBytes(p);
        p += TCoordData::RecordSize;
    }
    int err = 0;
    if (writeAll(fd, bytes, err) && durable && ::fdatasync(fd) != 0 && errno != EINVAL)
        err = errno;
    if (err != 0) {
        if (::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
            // A torn record at the end is ignored on reading and makes the next write a rewrite.
        }
        ::close(fd);
        m_tails.remove(fileName);
        throw ETrackFileError(systemError(err).toStdString());
    }
    if (oldSize == 0 && durable) {
        // A new file: its name must survive a power cut as well as its records.
        const QByteArray folder = QFile::encodeName(QFileInfo(fileName).path());
        const int dfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            ::fsync(dfd);
            ::close(dfd);
        }
    }
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        m_tails.remove(fileName);
        return;
    }
    bool keep = false;
    if (!durable) {
        // One open descriptor per file system is enough for the sync of the whole batch.
        keep = true;
        for (int other : m_unsynced) {
            struct stat os {};
            if (::fstat(other, &os) == 0 && os.st_dev == st.st_dev) {
                keep = false;
                break;
            }
        }
    }
    if (keep)
        m_unsynced.push_back(fd);
    else
        ::close(fd);
    if (m_tails.size() >= kMaxTails)
        m_tails.clear();
    tail.id = identityOf(st);
    tail.empty = false;
    tail.lastTs = records.back().ts;
    m_tails.insert(fileName, tail);
    m_lastWay = TWay::Appended;
}

void TTrackAppender::sync() {
    int err = 0;
    for (int fd : m_unsynced) {
        if (::syncfs(fd) != 0 && err == 0)
            err = errno;
        ::close(fd);
    }
    m_unsynced.clear();
    if (err != 0)
        throw ETrackFileError(systemError(err).toStdString());
}

void TTrackAppender::forget() {
    m_tails.clear();
}
