#include "maps/MapBindings.h"

#include <QMetaObject>

TMapBindings::TMapBindings(QObject *parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
}

TMapBindings::~TMapBindings() {
    m_pool.clear();
    m_pool.waitForDone();
}

void TMapBindings::clear() {
    m_pool.clear(); // bindings not yet started are not needed any more
    m_entries.clear();
    ++m_generation;
}

void TMapBindings::append(const TControlPoints &points) {
    const int index = int(m_entries.size());
    m_entries.append(TEntry{});
    const quint64 generation = m_generation;
    // The pool is joined before this object goes, so the posted result finds it alive; a
    // result posted but not yet delivered is dropped with the object.
    m_pool.start([this, points, generation, index] {
        TCoordsConverter binding;
        bool ok = true;
        try {
            binding.SetControlPoints(points);
        } catch (const std::exception &) {
            ok = false;
        }
        QMetaObject::invokeMethod(
            this, [this, generation, index, ok, binding] { store(generation, index, ok, binding); },
            Qt::QueuedConnection);
    });
}

TMapBindings::TState TMapBindings::state(int index) const {
    if (index < 0 || index >= m_entries.size())
        return TState::Pending;
    return m_entries[index].state;
}

const TCoordsConverter *TMapBindings::binding(int index) const {
    if (state(index) != TState::Bound)
        return nullptr;
    return &m_entries[index].binding;
}

int TMapBindings::pending() const {
    int n = 0;
    for (const TEntry &e : m_entries)
        n += e.state == TState::Pending ? 1 : 0;
    return n;
}

void TMapBindings::store(quint64 generation, int index, bool ok, const TCoordsConverter &binding) {
    if (generation != m_generation || index < 0 || index >= m_entries.size() ||
        m_entries[index].state != TState::Pending)
        return;
    TEntry &e = m_entries[index];
    e.state = ok ? TState::Bound : TState::Failed;
    if (ok)
        e.binding = binding;
    emit bound(index);
}
