#include "db/GroupStructure.h"

#include "db/GroupManager.h"

#include <algorithm>
#include <set>

namespace {

TMemberEntry entryFor(const TControllableObject &o) {
    return {o.Number, QString::number(o.Number) + QLatin1Char('{') + o.Name + QLatin1Char('}')};
}

bool listedByAnyGroup(const TManager &m, const TControllableObject *o) {
    return std::any_of(m.FGroups.begin(), m.FGroups.end(), [o](const auto &g) {
        return std::find(g->FObjects.begin(), g->FObjects.end(), o) != g->FObjects.end();
    });
}

// Moves the entries at the given rows from one list to the other, keeping both ordered.
void moveRows(std::vector<TMemberEntry> &from, std::vector<TMemberEntry> &to,
              const std::vector<int> &rows) {
    std::set<int> picked;
    for (int r : rows)
        if (r >= 0 && r < static_cast<int>(from.size()))
            picked.insert(r);
    if (picked.empty())
        return;
    std::vector<TMemberEntry> kept;
    for (int i = 0; i < static_cast<int>(from.size()); ++i)
        (picked.count(i) ? to : kept).push_back(from[static_cast<size_t>(i)]);
    from = std::move(kept);
    SortListBoxDig(to);
}

QStringList textsOf(const std::vector<TMemberEntry> &list) {
    QStringList out;
    for (const TMemberEntry &e : list)
        out << e.text;
    return out;
}

} // namespace

void SortListBoxDig(std::vector<TMemberEntry> &list) {
    std::stable_sort(list.begin(), list.end(), [](const TMemberEntry &a, const TMemberEntry &b) {
        return a.number < b.number;
    });
}

TGroupStructure::TGroupStructure(TManager &manager, TGroup *group) : m_manager(&manager) {
    if (!group)
        return;
    m_groupId = group->FID;
    m_groupPath = group->FPath.isEmpty() ? group->FName : group->FPath;
    for (const TControllableObject *o : group->FObjects)
        m_assigned.push_back(entryFor(*o));
    for (const TControllableObject *o : manager.FObjects)
        if (!o->Group && !listedByAnyGroup(manager, o))
            m_available.push_back(entryFor(*o));
    SortListBoxDig(m_assigned);
    SortListBoxDig(m_available);
}

TGroup *TGroupStructure::group() const {
    return m_manager && !m_groupId.isEmpty() ? m_manager->FindGroup(m_groupId) : nullptr;
}

bool TGroupStructure::isValid() const {
    return group() != nullptr;
}

QStringList TGroupStructure::availableTexts() const {
    return textsOf(m_available);
}

QStringList TGroupStructure::assignedTexts() const {
    return textsOf(m_assigned);
}

void TGroupStructure::assignSelected(const std::vector<int> &availableRows) {
    moveRows(m_available, m_assigned, availableRows);
}

void TGroupStructure::unassignSelected(const std::vector<int> &assignedRows) {
    moveRows(m_assigned, m_available, assignedRows);
}

void TGroupStructure::assignAll() {
    std::vector<int> rows(m_available.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    assignSelected(rows);
}

void TGroupStructure::unassignAll() {
    std::vector<int> rows(m_assigned.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    unassignSelected(rows);
}

bool TGroupStructure::Save() {
    TGroup *g = group();
    if (!g)
        return false;
    TManager &m = *m_manager;

    std::vector<TControllableObject *> members;
    for (const TMemberEntry &e : m_assigned)
        if (TControllableObject *o = m.FindObject(e.number);
            o && std::find(members.begin(), members.end(), o) == members.end())
            members.push_back(o);

    // What to put back when the database refuses the new membership.
    const std::vector<TControllableObject *> oldMembers = g->FObjects;
    std::vector<std::pair<TControllableObject *, TGroup *>> oldGroups;
    for (TControllableObject *o : oldMembers)
        oldGroups.emplace_back(o, o->Group);
    for (TControllableObject *o : members)
        oldGroups.emplace_back(o, o->Group);

    // A former member leaves this group. One that another group still lists stays attached
    // there, so the tree keeps showing it under that group.
    for (TControllableObject *o : oldMembers) {
        if (o->Group != g)
            continue;
        o->Group = nullptr;
        for (const auto &other : m.FGroups)
            if (other.get() != g && std::find(other->FObjects.begin(), other->FObjects.end(), o) !=
                                        other->FObjects.end())
                o->Group = other.get();
    }
    g->FObjects = members;
    for (TControllableObject *o : members)
        o->Group = g;

    try {
        m.SyncDBObjGrpWithList(g);
    } catch (...) {
        g->FObjects = oldMembers;
        for (const auto &[o, was] : oldGroups)
            o->Group = was;
        throw;
    }
    m.FLMGroup = g; // the edited group's branch is the one expanded
    m.SortObjects();
    m.RefreshGroups();
    m.ExpandParents();
    return true;
}
