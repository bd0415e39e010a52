#include "ui/WebMapPathForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmWebMapPath::TfrmWebMapPath(QWidget *parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Интернет-карта"));
    auto *form = new QFormLayout;
    edName = new QLineEdit;
    edPath = new QLineEdit;
    edPath->setPlaceholderText(QStringLiteral("страница в папке webmap, например google.html"));
    form->addRow(QStringLiteral("Название:"), edName);
    form->addRow(QStringLiteral("Страница:"), edPath);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *l = new QVBoxLayout(this);
    l->addLayout(form);
    l->addWidget(buttons);
    resize(420, 0);
}

bool TfrmWebMapPath::edit(TWebMapPath &value) {
    edName->setText(value.Name);
    edPath->setText(value.Path);
    if (exec() != QDialog::Accepted)
        return false;
    value.Name = edName->text().trimmed();
    value.Path = edPath->text().trimmed();
    return true;
}
