#include "ui/WebMapPathForm.h"

#include "webmap/WebMapList.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmWebMapPath::TfrmWebMapPath(TDialogs &dialogs, QWidget *parent)
    : QDialog(parent), m_dialogs(dialogs) {
    setWindowTitle(QStringLiteral("Выбор файла Internet-карты"));
    edMapName = new QLineEdit;
    edAddress = new QLineEdit;
    btnBrowse = new QPushButton(QStringLiteral("Обзор"));
    auto *address = new QHBoxLayout;
    address->addWidget(edAddress);
    address->addWidget(btnBrowse);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Наименование"), edMapName);
    form->addRow(QStringLiteral("Адрес карты"), address);

    btnOK = new QPushButton(QStringLiteral("OK"));
    btnCancel = new QPushButton(QStringLiteral("Отмена"));
    btnOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto *l = new QVBoxLayout(this);
    l->addLayout(form);
    l->addLayout(buttons);
    resize(460, 0);

    connect(btnBrowse, &QPushButton::clicked, this, &TfrmWebMapPath::btnBrowseClick);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmWebMapPath::EditWebMapLocation(QString &MapName, QString &FileName) {
    edMapName->setText(MapName);
    edAddress->setText(FileName);
    if (exec() != QDialog::Accepted)
        return false;
    MapName = edMapName->text();
    FileName = edAddress->text();
    return true;
}

void TfrmWebMapPath::btnBrowseClick() {
    QString name = edMapName->text();
    QString address = edAddress->text();
    if (!BrowseWebMapPage(name, address, m_dialogs))
        return;
    edMapName->setText(name);
    edAddress->setText(address);
}
