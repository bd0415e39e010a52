#include "ui/GroupPanel.h"

#include "app/ErrorGuard.h"
#include "db/GroupManager.h"
#include "online/ControllableObject.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

Q_DECLARE_METATYPE(TTreeNode *)

TGroupPanel::TGroupPanel(TErrorGuard &guard, QWidget *parent) : QWidget(parent), m_guard(guard) {
    m_pick = new QComboBox;
    m_pick->setEditable(false);
    m_pick->installEventFilter(this); // typed characters are not taken
    m_tree = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    // Long names scroll sideways rather than end in "…".
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_tree->header()->setStretchLastSection(false);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(2);
    l->addWidget(m_pick);
    l->addWidget(m_tree);

    m_menu = new QMenu(this);
    const QStringList captions = TManager::GroupMenuCaptions();
    for (int i = 0; i < captions.size(); ++i)
        connect(m_menu->addAction(captions[i]), &QAction::triggered, this,
                [this, i] { m_guard.run([this, i] { runCommand(i); }); });

    connect(m_tree, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) {
        if (QTreeWidgetItem *it = m_tree->itemAt(p))
            m_tree->setCurrentItem(it);
        if (m_manager && m_tree->currentItem())
            m_menu->popup(m_tree->viewport()->mapToGlobal(p));
    });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *cur) {
        if (m_manager)
            m_manager->setSelectedNode(nodeOf(cur));
    });
    connect(m_tree, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *it, int) {
        TTreeNode *n = nodeOf(it);
        if (m_rebuilding || !m_manager || !n || !n->group || it->text(0) == n->text)
            return;
        const QString name = it->text(0);
        // Rebuilding the list while the tree still reports the edit is not safe: defer it.
        QMetaObject::invokeMethod(
            this,
            [this, manager = m_manager, n, name] {
                if (manager != m_manager)
                    return; // the registry was replaced meanwhile
                // A name the database refuses keeps the stored one.
                if (!m_guard.run([&] { m_manager->NodeEdited(n, name); }))
                    rebuildTree();
            },
            Qt::QueuedConnection);
    });
    const auto track = [this](QTreeWidgetItem *it, bool open) {
        TTreeNode *n = nodeOf(it);
        if (m_rebuilding || !n || !n->group)
            return;
        if (open)
            m_expanded.insert(n->group->FID);
        else
            m_expanded.remove(n->group->FID);
    };
    connect(m_tree, &QTreeWidget::itemExpanded, this,
            [track](QTreeWidgetItem *it) { track(it, true); });
    connect(m_tree, &QTreeWidget::itemCollapsed, this,
            [track](QTreeWidgetItem *it) { track(it, false); });
    connect(m_pick, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_rebuilding && m_manager && i >= 0)
            m_guard.run([this, i] { m_manager->selectView(i); });
    });
}

bool TGroupPanel::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_pick && event->type() == QEvent::KeyPress &&
        !static_cast<QKeyEvent *>(event)->text().isEmpty() &&
        static_cast<QKeyEvent *>(event)->text().at(0).isPrint())
        return true;
    return QWidget::eventFilter(watched, event);
}

void TGroupPanel::setManager(TManager *manager) {
    if (m_manager)
        disconnect(m_manager, nullptr, this, nullptr);
    m_manager = manager;
    if (manager) {
        connect(manager, &TManager::treeChanged, this, &TGroupPanel::rebuildTree);
        connect(manager, &TManager::viewListChanged, this, &TGroupPanel::rebuildPickList);
        connect(manager, &TManager::expandRequested, this, &TGroupPanel::applyExpansion);
    }
    rebuildTree();
    rebuildPickList();
}

TTreeNode *TGroupPanel::nodeOf(QTreeWidgetItem *item) const {
    return item ? item->data(0, Qt::UserRole).value<TTreeNode *>() : nullptr;
}

void TGroupPanel::addItems(QTreeWidgetItem *item, TTreeNode *node) {
    item->setText(0, node->text);
    item->setData(0, Qt::UserRole, QVariant::fromValue(node));
    QStyle *st = style();
    if (node->isObject())
        item->setIcon(0, st->standardIcon(QStyle::SP_FileIcon));
    else
        item->setIcon(0, st->standardIcon(QStyle::SP_DirIcon));
    if (node->group) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        QFont f = item->font(0);
        f.setBold(node->stateImage == 4); // marked groups stand out
        item->setFont(0, f);
        item->setForeground(0, node->stateImage == 4 ? QBrush(QColor(0x1E, 0x6E, 0xC8)) : QBrush());
    }
    for (const auto &c : node->children)
        addItems(new QTreeWidgetItem(item), c.get());
    item->setExpanded(node->expanded || node->isRoot() ||
                      (node->group && m_expanded.contains(node->group->FID)));
}

QStringList TGroupPanel::expandedGroups() const {
    QStringList ids(m_expanded.begin(), m_expanded.end());
    ids.sort();
    return ids;
}

void TGroupPanel::setExpandedGroups(const QStringList &ids) {
    m_expanded = QSet<QString>(ids.begin(), ids.end());
    rebuildTree();
}

void TGroupPanel::showObject(int number) {
    QTreeWidgetItem *found = nullptr;
    std::function<void(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *it) {
        for (int i = 0; !found && i < it->childCount(); ++i) {
            QTreeWidgetItem *c = it->child(i);
            if (TTreeNode *n = nodeOf(c); n && n->object && n->object->Number == number)
                found = c;
            else
                walk(c);
        }
    };
    for (int i = 0; !found && i < m_tree->topLevelItemCount(); ++i)
        walk(m_tree->topLevelItem(i));
    if (!found || found == m_tree->currentItem())
        return;
    for (QTreeWidgetItem *p = found->parent(); p; p = p->parent())
        p->setExpanded(true);
    m_tree->setCurrentItem(found);
    m_tree->scrollToItem(found);
}

void TGroupPanel::rebuildTree() {
    m_rebuilding = true;
    m_tree->clear();
    if (m_manager) {
        auto *root = new QTreeWidgetItem(m_tree);
        addItems(root, &m_manager->root());
        root->setExpanded(true);
    }
    m_rebuilding = false;
}

void TGroupPanel::applyExpansion() {
    std::function<void(QTreeWidgetItem *)> walk = [&](QTreeWidgetItem *it) {
        if (TTreeNode *n = nodeOf(it); n && n->expanded)
            it->setExpanded(true);
        for (int i = 0; i < it->childCount(); ++i)
            walk(it->child(i));
    };
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        walk(m_tree->topLevelItem(i));
}

void TGroupPanel::rebuildPickList() {
    m_rebuilding = true;
    m_pick->clear();
    if (m_manager) {
        for (const auto &e : m_manager->FViewList())
            m_pick->addItem(e.text);
        // A list being refilled has no selection yet: the manager shows all objects then.
        m_pick->setCurrentIndex(m_pick->count() > 0 ? qMax(0, m_manager->viewIndex()) : -1);
    }
    m_rebuilding = false;
}

void TGroupPanel::runCommand(int index) {
    if (!m_manager)
        return;
    TTreeNode *n = nodeOf(m_tree->currentItem());
    m_manager->setSelectedNode(n);
    switch (index) {
    case 0:
        m_manager->AddNewGroup();
        break;
    case 1:
        m_manager->DeleteGroup(n);
        break;
    case 2:
        if (m_manager->NodeEditing(n))
            m_tree->editItem(m_tree->currentItem(), 0);
        break;
    case 3:
        m_manager->MarkGroyp(n);
        break;
    case 4:
        m_manager->DeMarkGroyp(n);
        break;
    case 5:
        // The editor opens inside this call and shows the busy cursor while it fills its lists.
        m_manager->EditGroupMembers(n);
        break;
    default:
        break;
    }
}
