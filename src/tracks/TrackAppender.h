#pragma once

#include <QHash>
#include <QString>

#include <vector>

#include "tracks/FileManager.h"

// The on-line writer's way into the day files. A position later than everything a day file
// holds is appended to the end of the file: the file is neither read nor held in memory, so a
// packet costs the same whether the day holds ten records or a hundred thousand. What an append
// cannot keep in order (an older packet, a time the file already has, a file somebody has open
// in the registry) goes the registry's way: get - load - add - FreeFile with saving, which sorts,
// removes equal times and rewrites the file.
//
// The tail of each file (its identity on disk and its last time) is remembered after the first
// look; the first look reads the times of the whole file once to make sure it is in order.
class TTrackAppender {
public:
    explicit TTrackAppender(TFManager &registry) : m_registry(registry) {}
    ~TTrackAppender();
    TTrackAppender(const TTrackAppender &) = delete;
    TTrackAppender &operator=(const TTrackAppender &) = delete;

    // Adds the records (in the given order) to the day file. With durable false the appended
    // bytes reach the disk at the next sync() (a rewrite through the registry is always synced
    // before it returns). Raises ETrackFileError when the file cannot be written; the file then
    // holds what it held before.
    void append(const QString &fileName, const std::vector<TCoordData> &records,
                bool durable = true);
    // Makes every append since the last sync durable: one file-system sync for all the files.
    void sync();
    // Forgets what it knows about the files (after the track folder was cleared).
    void forget();

    // How the last append went (for the tests and the benchmarks).
    enum class TWay { Nothing, Appended, Rewritten };
    TWay lastWay() const { return m_lastWay; }

private:
    struct TTail {
        TFileIdentity id; // size -1: the file does not exist
        double lastTs = 0;
        bool empty = true;
    };
    bool lookAt(const QString &fileName, TTail &tail);
    void rewrite(const QString &fileName, const std::vector<TCoordData> &records);

    TFManager &m_registry;
    QHash<QString, TTail> m_tails;
    std::vector<int> m_unsynced; // descriptors of files appended since the last sync
    TWay m_lastWay = TWay::Nothing;
};
