#include "ui/InputBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

TInputBox::TInputBox(const QString &caption, const QString &prompt, int value, QWidget *parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    label = new QLabel(prompt);
    edit = new QLineEdit(QString::number(value));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,9}")), edit));
    btnOk = new QPushButton(QStringLiteral("OK"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnOk->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TInputBox::number() const {
    return edit->text().isEmpty() ? 0 : edit->text().toInt();
}
