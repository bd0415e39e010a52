#pragma once

#include <QSet>
#include <QWidget>

class QComboBox;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class TErrorGuard;
class TManager;
struct TTreeNode;

// The group panel: the pick list that filters the state grid and the group tree with its
// context menu. It draws what the manager holds and forwards the commands to it.
class TGroupPanel : public QWidget {
    Q_OBJECT
public:
    explicit TGroupPanel(TErrorGuard &guard, QWidget *parent = nullptr);
    void setManager(TManager *manager);

    QComboBox *pickList() const { return m_pick; }
    QTreeWidget *tree() const { return m_tree; }
    QMenu *groupMenu() const { return m_menu; }

    void rebuildTree();
    void rebuildPickList();

    // The open groups (their ids): kept across rebuilds and reconnections, stored in the
    // settings so that the tree opens as it was left.
    QStringList expandedGroups() const;
    void setExpandedGroups(const QStringList &ids);
    // The tree follows the grid: the object's entry is opened and made current.
    void showObject(int number);

private:
    void addItems(QTreeWidgetItem *item, TTreeNode *node);
    TTreeNode *nodeOf(QTreeWidgetItem *item) const;
    void applyExpansion();
    void runCommand(int index);
    bool eventFilter(QObject *watched, QEvent *event) override;

    TErrorGuard &m_guard;
    TManager *m_manager = nullptr;
    QComboBox *m_pick;
    QTreeWidget *m_tree;
    QMenu *m_menu;
    bool m_rebuilding = false;
    QSet<QString> m_expanded;
};
