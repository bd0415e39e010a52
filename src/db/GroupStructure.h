#pragma once

// The membership editor of one group, free of widgets: the objects offered ("available") and the
// group's members ("assigned"), moves between the two lists, and saving into the manager and
// the database.

#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

class TGroup;
class TManager;

// One list entry: number + "{" + name + "}". It names the object by number only, looked up in the
// manager when saved, so the editor never holds an object the manager may have freed.
struct TMemberEntry {
    int number = 0;
    QString text;
};

// Keeps a list ordered by the entries' leading numbers; equal numbers keep their order.
void SortListBoxDig(std::vector<TMemberEntry> &list);

class TGroupStructure {
public:
    // Takes the lists from the manager as they are now: the group's members, and every object
    // that no group lists.
    TGroupStructure(TManager &manager, TGroup *group);

    // False once the manager or the group is gone (a reconnect replaces the manager).
    bool isValid() const;
    QString groupPath() const { return m_groupPath; }

    const std::vector<TMemberEntry> &available() const { return m_available; }
    const std::vector<TMemberEntry> &assigned() const { return m_assigned; }
    QStringList availableTexts() const;
    QStringList assignedTexts() const;

    // Moves the entries at these rows (out-of-range rows are ignored) or all entries.
    void assignSelected(const std::vector<int> &availableRows);
    void unassignSelected(const std::vector<int> &assignedRows);
    void assignAll();
    void unassignAll();

    // Makes the assigned entries the group's members in memory and in OBJ_GRP, then brings the
    // tree, the pick list and the object order up to date. Returns false, changing nothing, when
    // the manager or the group is gone. A database error (db::EDatabaseError) leaves the old
    // members in memory and reaches the caller.
    bool Save();

private:
    TGroup *group() const;

    QPointer<TManager> m_manager;
    QString m_groupId; // GRP_ID: the group is looked up again when saved
    QString m_groupPath;
    std::vector<TMemberEntry> m_available;
    std::vector<TMemberEntry> m_assigned;
};
