#pragma once

#include <QDialog>

#include "db/GroupStructure.h"

class QListWidget;
class QPushButton;
class TDialogs;
class TGroup;
class TManager;

// The membership editor of a group: the objects offered and the group's members, with moves
// between them. It shows TGroupStructure and forwards the user's commands to it.
class TfmGroupStructure : public QDialog {
    Q_OBJECT
public:
    TfmGroupStructure(TManager &manager, TGroup *group, TDialogs &dialogs,
                      QWidget *parent = nullptr);

    // Opens the editor for the group and waits for it; true when the members were saved.
    static bool Edit(TManager &manager, TGroup *group, TDialogs &dialogs,
                     QWidget *parent = nullptr);

    QListWidget *availableList() const { return m_available; }
    QListWidget *assignedList() const { return m_assigned; }
    QPushButton *assignButton() const { return m_assign; }
    QPushButton *assignAllButton() const { return m_assignAll; }
    QPushButton *unassignButton() const { return m_unassign; }
    QPushButton *unassignAllButton() const { return m_unassignAll; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    void showLists();
    void save();
    static std::vector<int> selectedRows(const QListWidget *list);

    TGroupStructure m_model;
    TDialogs &m_dialogs;
    QListWidget *m_available;
    QListWidget *m_assigned;
    QPushButton *m_assign;
    QPushButton *m_assignAll;
    QPushButton *m_unassign;
    QPushButton *m_unassignAll;
    QPushButton *m_save;
    QPushButton *m_cancel;
};
