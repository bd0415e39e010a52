#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "app/DateUtils.h"
#include "tracks/CoordsUtils.h"

// Reading, writing or deleting a track file failed; the text is the system's reason.
class ETrackFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The record array of an open track file. Reading is free; every change goes through a method
// that knows which records it may alter, so the file can tell whether the records it last read
// or wrote are still untouched (then a save only has to append the new ones).
class TCoordArray {
public:
    using const_iterator = std::vector<TCoordData>::const_iterator;

    int size() const { return static_cast<int>(m_v.size()); }
    int count() const { return size(); }
    bool empty() const { return m_v.empty(); }
    const TCoordData &operator[](int i) const { return m_v[static_cast<size_t>(i)]; }
    const TCoordData &back() const { return m_v.back(); }
    const TCoordData *data() const { return m_v.data(); }
    const_iterator begin() const { return m_v.begin(); }
    const_iterator end() const { return m_v.end(); }
    const std::vector<TCoordData> &values() const { return m_v; }

    void push_back(const TCoordData &c) { m_v.push_back(c); }
    void append(const_iterator first, const_iterator last) { m_v.insert(m_v.end(), first, last); }
    void reserve(int n) { m_v.reserve(static_cast<size_t>(n)); }
    void resize(int n) {
        touch(n);
        m_v.resize(static_cast<size_t>(n));
    }
    void clear() { resize(0); }
    // Removes [first, last).
    void erase(int first, int last) {
        touch(first);
        m_v.erase(m_v.begin() + first, m_v.begin() + last);
    }
    // Write access to one record.
    TCoordData &mutableAt(int i) {
        touch(i);
        return m_v[static_cast<size_t>(i)];
    }
    // Write access to the whole array (every record counts as changed).
    std::vector<TCoordData> &mutableValues() {
        touch(0);
        return m_v;
    }
    void assign(std::vector<TCoordData> v) {
        m_v = std::move(v);
        m_clean = 0;
    }
    std::vector<TCoordData> take() {
        m_clean = 0;
        return std::move(m_v);
    }

    // Number of leading records not changed since markClean().
    int cleanPrefix() const { return m_clean < size() ? m_clean : size(); }
    void markClean() { m_clean = size(); }

private:
    void touch(int i) {
        if (i < m_clean)
            m_clean = i;
    }
    std::vector<TCoordData> m_v;
    int m_clean = 0;
};

// What a track file on disk was when this process last read or wrote it: enough to notice a
// change made behind our back (another writer replaces or extends it).
struct TFileIdentity {
    unsigned long long dev = 0, ino = 0;
    long long size = -1;
    long long mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const TFileIdentity &) const = default;
    // False when the file does not exist.
    static bool of(const QString &fileName, TFileIdentity &out);
};

struct TDiskState {
    bool valid = false;     // the file holds exactly the first `count` records of coords
    int count = 0;          // records in the file
    bool ascending = false; // those records are in strictly ascending time order
    TFileIdentity id;
};

class TTrackCache;

// One open track file (one object, one day): the records in file order. Created with new (the
// registry does that): LocalRelease deletes the object when the last reference goes.
class TTrackFile {
public:
    TTrackFile();
    virtual ~TTrackFile();
    TTrackFile(const TTrackFile &) = delete;
    TTrackFile &operator=(const TTrackFile &) = delete;

    int32_t num = 0; // object number, kept for whoever opened the file
    TCoordArray coords;
    QString fname;
    int32_t referenceCount = 1;

    // Reads the whole file into coords; a missing file leaves coords as they are. The folder of
    // the file is created (one level) when missing.
    void load();
    // load(), then keeps the records from the first one at or after b up to and including the
    // first one at or after e.
    void load(TDateTime b, TDateTime e);
    // Writes coords to the file (through a temporary file and a rename, or by appending the new
    // records when the file still holds the unchanged, ascending rest), or deletes the file when
    // coords is empty.
    void save();
    // Orders coords by time (quicksort, not stable).
    void sort();
    // Drops a record when the next one has the same time (the later twin stays).
    void unique();
    void add(const TCoordData &coord) { coords.push_back(coord); }

    int LocalAddRef() { return ++referenceCount; }
    // Frees the object when the count drops to 0 or below; returns the new count.
    int LocalRelease();

    // Off: every save rewrites the whole file, and released files are not kept in memory.
    void setIncremental(bool on) { m_incremental = on; }
    const TDiskState &diskState() const { return m_disk; }

private:
    friend class TFManager;
    bool isStrictlyAscending() const;

    TTrackCache *m_cache = nullptr; // the registry's copies of released files, if any
    bool m_incremental = true;
    TDiskState m_disk;
};

// One day file that can hold records of a period: inside when its day is one of the period's
// days, otherwise a neighbour whose records the object's time-zone shift may have carried into
// the period (an imported day file keeps the name of the data file its records came from).
struct TTrackDayFile {
    QString name; // folder + "yyyymmdd.dat"
    bool inside = true;
};
// The day files in folder (ending with "/") that cover [start, end]: the days from start's up to
// the last one that begins before end, and the day on either side of them.
std::vector<TTrackDayFile> TrackDayFiles(const QString &folder, TDateTime start, TDateTime end);

// A track held in memory, not tied to one file.
class TTrackView {
public:
    int32_t num = 0;
    std::vector<TCoordData> coords;

    void add(const TCoordData &coord) { coords.push_back(coord); }
    void unique();
    // Orders the records low..high (inclusive) by time.
    void sort_2(int low, int high);
};

// The registry of open track files, shared by every writer and reader of the cache. A writer
// keeps get - load - append - FreeFile(path, true) together; readers use the windowed get or
// form_track and give the file back with FreeFile(path, false).
class TFManager {
public:
    TFManager();
    // Files still registered are not saved.
    ~TFManager();
    TFManager(const TFManager &) = delete;
    TFManager &operator=(const TFManager &) = delete;

    // The open file registered under exactly FName with one more reference, or a new, empty,
    // not yet loaded file with one reference.
    TTrackFile *get(const QString &FName);
    // get, then the windowed load; a failing load gives the reference back before raising.
    TTrackFile *get(const QString &FName, TDateTime b, TDateTime e);
    // Gives back one reference; with needsave the file is first sorted, cleaned of equal times
    // and saved. The reference is given back even when the save fails (the error is raised).
    void FreeFile(const QString &FName, bool needsave);
    // The records from b to e of the day files ("yyyymmdd.dat") in the object folder FPath
    // (ending with "/") in time order: each day of the period with the window [b, e] (so the
    // first record at or after e is kept too), and from the neighbouring days the records
    // between b and e. Of records with equal times the later one read stays.
    std::unique_ptr<TTrackView> form_track(const QString &FPath, TDateTime b, TDateTime e);

    // Somebody holds the file registered under exactly FName.
    bool isOpen(const QString &FName) const;
    // The registered files in the order they were opened.
    std::vector<TTrackFile *> filesSnapshot() const;

    // Off: whole-file rewrites only and no memory of released files (the plain behaviour).
    void setIncremental(bool on);
    // Forgets the copies of released files (after the cache folder was cleared).
    void dropCache();

private:
    std::vector<TTrackFile *> files;
    mutable std::mutex cs;
    std::unique_ptr<TTrackCache> m_cache;
    bool m_incremental = true;
};
