#include "ui/DownloadDataForm.h"
#include "ui/DateEdits.h"

#include "app/Dialogs.h"
#include "archive/DownloadObjectData.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TDownloadDataForm::TDownloadDataForm(const std::vector<int> &numbers, TDialogs &dialogs,
                                     QWidget *parent)
    : QDialog(parent), m_numbers(numbers), m_dialogs(dialogs) {
    setWindowTitle(QStringLiteral("Докачка информации"));
    rbAll = new QRadioButton(QStringLiteral("Все"));
    rbOne = new QRadioButton(QStringLiteral("Один объект"));
    rbAll->setChecked(true);
    cbObject = new QComboBox;
    cbObject->setEditable(true);
    for (int n : numbers)
        cbObject->addItem(QString::number(n));
    if (cbObject->count() > 0)
        cbObject->setCurrentIndex(0);
    cbObject->setEnabled(false);
    dtStart = NewDateEdit();
    dtEnd = NewDateEdit();

    auto *objects = new QHBoxLayout;
    objects->addWidget(rbAll);
    objects->addWidget(rbOne);
    objects->addWidget(cbObject, 1);
    auto *dates = new QFormLayout;
    dates->addRow(QStringLiteral("c:"), dtStart);
    dates->addRow(QStringLiteral("по:"), dtEnd);
    btnOk = new QPushButton(QStringLiteral("OK"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(objects);
    layout->addLayout(dates);
    layout->addLayout(buttons);

    connect(rbOne, &QRadioButton::toggled, cbObject, &QWidget::setEnabled);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TDownloadDataForm::selectObject(int number) {
    rbOne->setChecked(true);
    const int i = cbObject->findText(QString::number(number));
    if (i >= 0)
        cbObject->setCurrentIndex(i);
}

void TDownloadDataForm::accept() {
    int number = 0;
    switch (CheckDownloadChoice(dtStart->date(), dtEnd->date(), rbOne->isChecked(),
                                cbObject->currentText(), m_numbers, number)) {
    case TDownloadChoice::BadInterval:
        m_dialogs.message(QStringLiteral("Неправильно задан временной интервал"),
                          QStringLiteral("Ошибка"), TMsgIcon::Error);
        return;
    case TDownloadChoice::BadObject:
        m_dialogs.message(QStringLiteral("Неверно указан номер объекта"),
                          QStringLiteral("Выбор объекта"), TMsgIcon::Error);
        return;
    case TDownloadChoice::Ok:
        break;
    }
    m_choice = TChoice{number, dtStart->date(), dtEnd->date()};
    QDialog::accept();
}

std::optional<TDownloadDataForm::TChoice> TDownloadDataForm::Ask(const std::vector<int> &numbers,
                                                                 int preset, TDialogs &dialogs,
                                                                 QWidget *parent) {
    TDownloadDataForm dlg(numbers, dialogs, parent);
    if (preset > 0)
        dlg.selectObject(preset);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.choice();
}
