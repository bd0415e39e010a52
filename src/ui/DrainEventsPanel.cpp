#include "ui/DrainEventsPanel.h"

#include "app/ErrorGuard.h"
#include "session/DrainsPart.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

TDrainEventsPanel::TDrainEventsPanel(TDrainsPart &drains, TErrorGuard &guard, QWidget *parent)
    : QWidget(parent), m_drains(drains), m_guard(guard) {
    m_table = new QTableView;
    m_table->setObjectName(QStringLiteral("drainEvents"));
    m_table->setModel(&drains.alerts());
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(26);
    // The place takes what is left; the confirm button keeps its own width.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(TDrainAlertsModel::colPlace,
                                                      QHeaderView::Stretch);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->setWordWrap(false);
    auto *l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(m_table);

    connect(&drains.alerts(), &QAbstractItemModel::modelReset, this,
            &TDrainEventsPanel::placeButtons);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex &i) {
        if (const TStoredDrain *a = m_drains.alerts().alertAt(i.row()))
            emit objectRequested(a->object);
    });
    placeButtons();
}

void TDrainEventsPanel::placeButtons() {
    const TDrainAlertsModel &m = m_drains.alerts();
    for (int row = 0; row < m.rowCount(); ++row) {
        const TStoredDrain *a = m.alertAt(row);
        const QModelIndex cell = m.index(row, TDrainAlertsModel::colConfirm);
        if (!a || a->confirmed()) {
            m_table->setIndexWidget(cell, nullptr);
            continue;
        }
        auto *b = new QPushButton(TDrainAlertsModel::confirmText());
        b->setObjectName(QStringLiteral("confirm%1").arg(a->id));
        const int id = a->id;
        // Queued: the confirmation rebuilds the rows, and this button with them.
        connect(
            b, &QPushButton::clicked, this,
            [this, id] { m_guard.run([this, id] { m_drains.confirm(id); }); },
            Qt::QueuedConnection);
        m_table->setIndexWidget(cell, b);
    }
}
