#pragma once

#include "maps/CoordsConverter.h"
#include "maps/MapFileParser.h"

#include <QObject>
#include <QThreadPool>
#include <QVector>

// The bindings of the listed maps, one per map, each computed once in a worker thread and kept
// while the map stays in the list: opening a map and the choice of the best map read them
// instead of binding on the main thread.
class TMapBindings : public QObject {
    Q_OBJECT
public:
    enum class TState { Pending, Bound, Failed };

    explicit TMapBindings(QObject *parent = nullptr);
    // Waits for the binding in progress (its result is dropped).
    ~TMapBindings() override;

    // Forgets every map; results of bindings still running are dropped.
    void clear();
    // Appends the entry of the next map and starts binding it.
    void append(const TControlPoints &points);
    int size() const { return int(m_entries.size()); }
    // Pending for an index out of range.
    TState state(int index) const;
    // The binding of a bound map, nullptr otherwise.
    const TCoordsConverter *binding(int index) const;
    // Bindings not yet known.
    int pending() const;

    // Which list a result belongs to: a cleared list starts a new generation.
    quint64 generation() const { return m_generation; }
    // Keeps a result computed elsewhere (the loader of an opening map) unless the map's is
    // known already or the list has changed since.
    void store(quint64 generation, int index, bool ok, const TCoordsConverter &binding);

signals:
    void bound(int index);

private:
    struct TEntry {
        TState state = TState::Pending;
        TCoordsConverter binding;
    };
    QVector<TEntry> m_entries;
    quint64 m_generation = 0;
    QThreadPool m_pool; // one thread: bindings are computed in list order
};
