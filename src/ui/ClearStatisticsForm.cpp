#include "ui/ClearStatisticsForm.h"
#include "ui/DateEdits.h"

#include "db/GroupManager.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

TfmClearStatistics::TfmClearStatistics(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Очистка статистики из БД"));
    rbOne = new QRadioButton(QStringLiteral("Один объект"));
    rbAll = new QRadioButton(QStringLiteral("Все"));
    cbObject = new QComboBox;
    auto *objects = new QGroupBox(QStringLiteral("Объекты"));
    auto *og = new QHBoxLayout(objects);
    og->addWidget(rbOne);
    og->addWidget(cbObject, 1);
    og->addWidget(rbAll);
    deDate = NewDateEdit(QDate(2000, 1, 1));
    teTime = NewTimeEdit();
    auto *until = new QGroupBox(QStringLiteral("ДО"));
    auto *ug = new QHBoxLayout(until);
    ug->addWidget(deDate);
    ug->addWidget(teTime);
    ug->addStretch();
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(rbAll, &QRadioButton::toggled, this, [this](bool all) { cbObject->setEnabled(!all); });
    auto *l = new QVBoxLayout(this);
    l->addWidget(objects);
    l->addWidget(until);
    l->addWidget(buttons);
}

void TfmClearStatistics::fill(const TManager &manager, int selectedNumber) {
    cbObject->clear();
    for (const TControllableObject *o : manager.FObjects) {
        cbObject->addItem(QString::number(o->Number), o->Number);
        if (o->Number == selectedNumber)
            cbObject->setCurrentIndex(cbObject->count() - 1);
    }
    rbOne->setChecked(true);
    cbObject->setEnabled(true);
    const QDateTime now = QDateTime::currentDateTime();
    deDate->setDate(now.date());
    teTime->setTime(now.time());
}

std::optional<int> TfmClearStatistics::objectChoice() const {
    if (rbAll->isChecked())
        return std::nullopt;
    return cbObject->currentData().toInt();
}

TDateTime TfmClearStatistics::upTo() const {
    const QDate d = deDate->date();
    const QTime t = teTime->time();
    // Whole seconds, as the dialog shows them.
    return dt::encode(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}
