#include "ui/GroupStructureForm.h"

#include "app/Dialogs.h"
#include "db/Database.h"
#include "db/GroupManager.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TfmGroupStructure::TfmGroupStructure(TManager &manager, TGroup *group, TDialogs &dialogs,
                                     QWidget *parent)
    : QDialog(parent), m_model(manager, group), m_dialogs(dialogs), m_available(new QListWidget),
      m_assigned(new QListWidget), m_assign(new QPushButton(QStringLiteral(">"))),
      m_assignAll(new QPushButton(QStringLiteral(">>"))),
      m_unassign(new QPushButton(QStringLiteral("<"))),
      m_unassignAll(new QPushButton(QStringLiteral("<<"))),
      m_save(new QPushButton(QStringLiteral("Сохранить"))),
      m_cancel(new QPushButton(QStringLiteral("Отмена"))) {
    setWindowTitle(QStringLiteral("Состав группы: ") + m_model.groupPath());
    for (QListWidget *l : {m_available, m_assigned})
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_assign->setToolTip(QStringLiteral("Добавить выбранные объекты в группу"));
    m_assignAll->setToolTip(QStringLiteral("Добавить все объекты в группу"));
    m_unassign->setToolTip(QStringLiteral("Исключить выбранные объекты из группы"));
    m_unassignAll->setToolTip(QStringLiteral("Исключить все объекты из группы"));

    auto *moves = new QVBoxLayout;
    moves->addStretch();
    for (QPushButton *b : {m_assign, m_assignAll, m_unassign, m_unassignAll})
        moves->addWidget(b);
    moves->addStretch();
    auto *lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Объекты без группы")), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("Объекты группы")), 0, 2);
    lists->addWidget(m_available, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(m_assigned, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(buttons);
    m_save->setDefault(true);
    resize(560, 420);

    connect(m_assign, &QPushButton::clicked, this, [this] {
        m_model.assignSelected(selectedRows(m_available));
        showLists();
    });
    connect(m_assignAll, &QPushButton::clicked, this, [this] {
        m_model.assignAll();
        showLists();
    });
    connect(m_unassign, &QPushButton::clicked, this, [this] {
        m_model.unassignSelected(selectedRows(m_assigned));
        showLists();
    });
    connect(m_unassignAll, &QPushButton::clicked, this, [this] {
        m_model.unassignAll();
        showLists();
    });
    connect(m_save, &QPushButton::clicked, this, &TfmGroupStructure::save);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    // A reconnect replaces the manager: the editor has nothing left to edit.
    connect(&manager, &QObject::destroyed, this, &QDialog::reject);
    showLists();
}

bool TfmGroupStructure::Edit(TManager &manager, TGroup *group, TDialogs &dialogs, QWidget *parent) {
    QApplication::setOverrideCursor(Qt::WaitCursor); // while the lists are filled
    TfmGroupStructure form(manager, group, dialogs, parent);
    QApplication::restoreOverrideCursor();
    return form.exec() == QDialog::Accepted;
}

std::vector<int> TfmGroupStructure::selectedRows(const QListWidget *list) {
    std::vector<int> rows;
    for (const QModelIndex &i : list->selectionModel()->selectedIndexes())
        rows.push_back(i.row());
    return rows;
}

void TfmGroupStructure::showLists() {
    m_available->clear();
    m_available->addItems(m_model.availableTexts());
    m_assigned->clear();
    m_assigned->addItems(m_model.assignedTexts());
}

void TfmGroupStructure::save() {
    // The database may refuse: say why and keep the editor open with the user's lists.
    try {
        if (m_model.Save())
            accept();
        else
            reject();
    } catch (const db::EDatabaseError &e) {
        m_dialogs.message(e.text(), QApplication::applicationDisplayName(), TMsgIcon::Error);
    } catch (const std::exception &e) {
        m_dialogs.message(QString::fromStdString(e.what()), QApplication::applicationDisplayName(),
                          TMsgIcon::Error);
    }
}
