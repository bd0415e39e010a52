#include "tracks/FileManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/IniFile.h"

// Copies of day files whose last holder gave them back in step with the disk. The on-line
// writer takes the same day file for every packet; keeping the records means the next load
// costs a stat instead of reading the whole day again. An entry is used only while the file on
// disk is still exactly what it was (device, inode, size, modification time).
class TTrackCache {
public:
    static constexpr size_t MaxBytes = 64u << 20;
    static constexpr size_t MaxEntries = 64;

    void put(const QString &name, std::vector<TCoordData> coords, const TDiskState &disk) {
        std::lock_guard<std::mutex> lock(m_mutex);
        eraseLocked(name);
        m_bytes += bytesOf(coords);
        m_entries.push_front({name, std::move(coords), disk});
        while (!m_entries.empty() && (m_bytes > MaxBytes || m_entries.size() > MaxEntries)) {
            m_bytes -= bytesOf(m_entries.back().coords);
            m_entries.pop_back();
        }
    }

    // Moves the entry out when the file is still what it describes; a stale entry is dropped.
    bool take(const QString &name, const TFileIdentity &current, std::vector<TCoordData> &coords,
              TDiskState &disk) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->name != name)
                continue;
            const bool fresh = it->disk.id == current;
            if (fresh) {
                coords = std::move(it->coords);
                disk = it->disk;
            }
            m_bytes -= bytesOf(fresh ? coords : it->coords);
            m_entries.erase(it);
            return fresh;
        }
        return false;
    }

    void erase(const QString &name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        eraseLocked(name);
    }

    void clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.clear();
        m_bytes = 0;
    }

private:
    struct Entry {
        QString name;
        std::vector<TCoordData> coords;
        TDiskState disk;
    };
    static size_t bytesOf(const std::vector<TCoordData> &v) {
        return v.size() * sizeof(TCoordData);
    }
    void eraseLocked(const QString &name) {
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->name == name) {
                m_bytes -= bytesOf(it->coords);
                m_entries.erase(it);
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::list<Entry> m_entries; // most recently released first
    size_t m_bytes = 0;
};

namespace {

QString systemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

void createFolderOf(const QString &fileName) {
    const QString folder = QFileInfo(fileName).path();
    if (!folder.isEmpty() && !QFileInfo::exists(folder))
        QDir().mkdir(folder); // one level; a failure shows up when the file is written
}

bool ascendingFrom(const TCoordArray &c, int start) {
    for (int i = std::max(start, 0) + 1; i < c.size(); ++i)
        if (!(c[i - 1].ts < c[i].ts))
            return false;
    return true;
}

// Quicksort on ts with the middle element as pivot and an explicit stack of pending ranges.
// An array already in strictly ascending order is left exactly as it is.
void quickSort(std::vector<TCoordData> &a, int low, int high) {
    if (low >= high)
        return;
    std::vector<std::pair<int, int>> stack;
    stack.emplace_back(low, high);
    while (!stack.empty()) {
        const auto [l, r] = stack.back();
        stack.pop_back();
        if (l >= r)
            continue;
        int i = l, j = r;
        const double pivot = a[static_cast<size_t>((l + r) / 2)].ts;
        do {
            while (a[static_cast<size_t>(i)].ts < pivot)
                ++i;
            while (a[static_cast<size_t>(j)].ts > pivot)
                --j;
            if (i <= j) {
                std::swap(a[static_cast<size_t>(i)], a[static_cast<size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j)
            stack.emplace_back(l, j);
        if (i < r)
            stack.emplace_back(i, r);
    }
}

// Of each run of records with equal times only the last one stays.
template <typename Vec> void dropEqualTimes(Vec &v) {
    size_t out = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i + 1 < v.size() && v[i].ts == v[i + 1].ts)
            continue;
        v[out++] = v[i];
    }
    v.resize(out);
}

QByteArray toImage(const TCoordArray &c, int first) {
    QByteArray bytes(static_cast<qsizetype>(c.size() - first) * TCoordData::RecordSize, '\0');
    auto *p = reinterpret_cast<unsigned char *>(bytes.data());
    for (int i = first; i < c.size(); ++i, p += TCoordData::RecordSize)
        c[i].toBytes(p);
    return bytes;
}

// Appends bytes to the file, which must still have oldSize bytes; on any failure the file is cut
// back to oldSize, so the records it held are never touched.
void appendToFile(const QString &fileName, const QByteArray &bytes, long long oldSize) {
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        throw ETrackFileError(systemError(errno).toStdString());
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    int err = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        p += n;
        left -= n;
    }
    if (err == 0 && ::fdatasync(fd) != 0 && errno != EINVAL)
        err = errno;
    if (err != 0) {
        if (::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
            // Nothing more to do: a partial record at the end is ignored on reading and makes
            // the next save rewrite the file.
        }
        ::close(fd);
        throw ETrackFileError(systemError(err).toStdString());
    }
    if (::close(fd) != 0)
        throw ETrackFileError(systemError(errno).toStdString());
}

} // namespace

bool TFileIdentity::of(const QString &fileName, TFileIdentity &out) {
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return false;
    out.dev = st.st_dev;
    out.ino = st.st_ino;
    out.size = st.st_size;
    out.mtimeSec = st.st_mtim.tv_sec;
    out.mtimeNsec = st.st_mtim.tv_nsec;
    return true;
}

TTrackFile::TTrackFile() = default;
TTrackFile::~TTrackFile() = default;

int TTrackFile::LocalRelease() {
    const int n = --referenceCount;
    if (n <= 0)
        delete this;
    return n;
}

void TTrackFile::load() {
    createFolderOf(fname);
    if (!QFileInfo::exists(fname)) {
        m_disk = {};
        return;
    }
    TFileIdentity before;
    const bool known = TFileIdentity::of(fname, before);
    if (known && m_cache && m_incremental) {
        std::vector<TCoordData> cached;
        TDiskState disk;
        if (m_cache->take(fname, before, cached, disk)) {
            coords.assign(std::move(cached));
            coords.markClean();
            m_disk = disk;
            return;
        }
    }
    QFile f(fname);
    if (!f.open(QIODevice::ReadOnly))
        throw ETrackFileError(f.errorString().toStdString());
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ETrackFileError(f.errorString().toStdString());
    f.close();
    const int n = static_cast<int>(bytes.size() / TCoordData::RecordSize);
    std::vector<TCoordData> v(static_cast<size_t>(n));
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (int i = 0; i < n; ++i, p += TCoordData::RecordSize)
        v[static_cast<size_t>(i)] = TCoordData::fromBytes(p);
    coords.assign(std::move(v));
    coords.markClean();

    TFileIdentity after;
    m_disk = {};
    if (known && TFileIdentity::of(fname, after) && after == before && after.size == bytes.size()) {
        m_disk.valid = true;
        m_disk.count = n;
        m_disk.ascending = ascendingFrom(coords, 0);
        m_disk.id = after;
    }
}

void TTrackFile::load(TDateTime b, TDateTime e) {
    load();
    int first = -1, last = -1;
    for (int i = 0; i < coords.size() && (first < 0 || last < 0); ++i) {
        if (first < 0 && coords[i].ts >= b)
            first = i;
        if (last < 0 && coords[i].ts >= e)
            last = i;
    }
    // A window that ends before it begins holds nothing; cutting it as below would remove more
    // records than there are.
    if (first >= 0 && last >= 0 && last < first) {
        coords.clear();
        return;
    }
    // The cut at the end comes first, while the indexes still hold.
    if (last >= 0 && last + 1 < coords.size())
        coords.resize(last + 1);
    if (first > 0)
        coords.erase(0, first);
}

bool TTrackFile::isStrictlyAscending() const {
    const bool prefixKnown =
        m_disk.valid && m_disk.ascending && coords.cleanPrefix() >= m_disk.count;
    return ascendingFrom(coords, prefixKnown ? m_disk.count - 1 : 0);
}

void TTrackFile::sort() {
    // The quicksort leaves a strictly ascending array as it is; checking first keeps the
    // untouched records marked as such.
    if (isStrictlyAscending())
        return;
    quickSort(coords.mutableValues(), 0, coords.size() - 1);
}

void TTrackFile::unique() {
    if (isStrictlyAscending())
        return;
    std::vector<TCoordData> v = coords.take();
    dropEqualTimes(v);
    coords.assign(std::move(v));
}

void TTrackFile::save() {
    if (m_cache)
        m_cache->erase(fname);
    if (coords.empty()) {
        m_disk = {};
        if (QFileInfo::exists(fname) || QFileInfo(fname).isSymLink()) {
            QFile f(fname);
            if (!f.remove())
                throw ETrackFileError(f.errorString().toStdString());
        }
        return;
    }
    createFolderOf(fname);

    TFileIdentity current;
    const bool onDisk = TFileIdentity::of(fname, current);
    const bool prefixOnDisk =
        m_incremental && m_disk.valid && onDisk && current == m_disk.id &&
        current.size == static_cast<long long>(m_disk.count) * TCoordData::RecordSize &&
        coords.cleanPrefix() >= m_disk.count && m_disk.ascending;
    if (prefixOnDisk && coords.size() >= m_disk.count && ascendingFrom(coords, m_disk.count - 1)) {
        if (coords.size() > m_disk.count)
            appendToFile(fname, toImage(coords, m_disk.count), current.size);
    } else {
        try {
            writeFileAtomically(fname, toImage(coords, 0));
        } catch (const std::exception &e) {
            m_disk = {};
            throw ETrackFileError(e.what());
        }
        m_disk.ascending = ascendingFrom(coords, 0);
    }
    coords.markClean();
    m_disk.count = coords.size();
    m_disk.valid = TFileIdentity::of(fname, m_disk.id);
}

void TTrackView::unique() {
    dropEqualTimes(coords);
}

void TTrackView::sort_2(int low, int high) {
    if (low < 0 || high >= static_cast<int>(coords.size()))
        return;
    quickSort(coords, low, high);
}

TFManager::TFManager() : m_cache(std::make_unique<TTrackCache>()) {}

TFManager::~TFManager() {
    // Nothing is saved here; the memory of files somebody forgot to give back is released.
    for (TTrackFile *f : files)
        delete f;
}

TTrackFile *TFManager::get(const QString &FName) {
    std::lock_guard<std::mutex> lock(cs);
    for (TTrackFile *f : files) {
        if (f->fname == FName) {
            f->LocalAddRef();
            return f;
        }
    }
    auto *f = new TTrackFile;
    f->fname = FName;
    f->m_cache = m_cache.get();
    f->m_incremental = m_incremental;
    files.push_back(f);
    return f;
}

TTrackFile *TFManager::get(const QString &FName, TDateTime b, TDateTime e) {
    TTrackFile *f = get(FName);
    try {
        f->load(b, e);
    } catch (...) {
        FreeFile(FName, false);
        throw;
    }
    return f;
}

void TFManager::FreeFile(const QString &FName, bool needsave) {
    std::lock_guard<std::mutex> lock(cs);
    auto it = std::find_if(files.begin(), files.end(),
                           [&](const TTrackFile *f) { return f->fname == FName; });
    if (it == files.end())
        return;
    TTrackFile *f = *it;
    auto release = [&] {
        if (f->referenceCount <= 1) {
            // The last holder: keep the records when they are exactly what the file holds.
            if (m_incremental && f->m_disk.valid && f->coords.size() == f->m_disk.count &&
                f->coords.cleanPrefix() == f->coords.size())
                m_cache->put(f->fname, f->coords.take(), f->m_disk);
            files.erase(it);
        }
        f->LocalRelease();
    };
    if (needsave) {
        try {
            f->sort();
            f->unique();
            f->save();
        } catch (...) {
            release();
            throw;
        }
    }
    release();
}

std::vector<TTrackDayFile> TrackDayFiles(const QString &folder, TDateTime start, TDateTime end) {
    std::vector<TTrackDayFile> out;
    const auto add = [&](TDateTime day, bool inside) {
        out.push_back(
            {folder + dt::formatDateTime(QStringLiteral("yyyymmdd"), day) + QStringLiteral(".dat"),
             inside});
    };
    TDateTime day = dt::dateOf(start);
    add(day - 1, false);
    for (TDateTime cursor = start; cursor < end; cursor = dt::dateOf(cursor) + 1) {
        day = dt::dateOf(cursor);
        add(day, true);
    }
    add(day + 1, false);
    return out;
}

std::unique_ptr<TTrackView> TFManager::form_track(const QString &FPath, TDateTime b, TDateTime e) {
    auto view = std::make_unique<TTrackView>();
    bool ordered = true;
    for (const TTrackDayFile &file : TrackDayFiles(FPath, b, e)) {
        TTrackFile *f = nullptr;
        try {
            f = get(file.name, b, e);
        } catch (const ETrackFileError &) {
            // A neighbour that cannot be read only lends a few shifted hours: its own day
            // reports the error, this period goes on with its own files.
            if (file.inside)
                throw;
            continue;
        }
        for (const TCoordData &c : f->coords) {
            // A file without a record at or after b keeps all it holds.
            if (c.ts < b || (!file.inside && c.ts > e))
                continue;
            if (!view->coords.empty() && c.ts <= view->coords.back().ts)
                ordered = false;
            view->coords.push_back(c);
        }
        FreeFile(file.name, false);
    }
    if (!ordered) {
        std::stable_sort(view->coords.begin(), view->coords.end(),
                         [](const TCoordData &x, const TCoordData &y) { return x.ts < y.ts; });
        view->unique();
    }
    return view;
}

bool TFManager::isOpen(const QString &FName) const {
    std::lock_guard<std::mutex> lock(cs);
    return std::any_of(files.begin(), files.end(),
                       [&](const TTrackFile *f) { return f->fname == FName; });
}

std::vector<TTrackFile *> TFManager::filesSnapshot() const {
    std::lock_guard<std::mutex> lock(cs);
    return files;
}

void TFManager::setIncremental(bool on) {
    std::lock_guard<std::mutex> lock(cs);
    m_incremental = on;
    for (TTrackFile *f : files)
        f->m_incremental = on;
    if (!on)
        m_cache->clear();
}

void TFManager::dropCache() {
    m_cache->clear();
}
