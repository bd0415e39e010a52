#include "ui/FirstTimeMaster.h"

#include "ui/OptionsForm.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfmFirstTimeMaster::TfmFirstTimeMaster(TfmOptions *options, QWidget *parent)
    : QDialog(parent), m_options(options) {
    setWindowTitle(QStringLiteral("Укажите параметры связи с сервером"));
    auto *group = new QGroupBox(QStringLiteral("Параметры подключения к серверу:"));
    auto *form = new QFormLayout(group);
    edServer = new QLineEdit;
    edLogin = new QLineEdit;
    edPassword = new QLineEdit;
    edPassword->setEchoMode(QLineEdit::Password);
    form->addRow(QStringLiteral("Адрес сервера:"), edServer);
    form->addRow(QStringLiteral("Логин для подключения к серверу:"), edLogin);
    form->addRow(QStringLiteral("Пароль для подключения к серверу:"), edPassword);

    auto *save = new QPushButton(QStringLiteral("Сохранить"));
    auto *cancel = new QPushButton(QStringLiteral("Отмена"));
    save->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    auto *l = new QVBoxLayout(this);
    l->addWidget(group);
    l->addLayout(buttons);
    connect(save, &QPushButton::clicked, this, &TfmFirstTimeMaster::btnSaveClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(480, 0);
}

void TfmFirstTimeMaster::execFor() {
    const TOptions &o = m_options->FOptions;
    edServer->setText(o.AppServer);
    edLogin->setText(o.AppLogin);
    edPassword->setText(o.AppPass);
    exec();
}

void TfmFirstTimeMaster::btnSaveClick() {
    // The settings window shows the three fields too; what it shows is what gets saved.
    m_options->ui.appServer->setText(edServer->text());
    m_options->ui.appLogin->setText(edLogin->text());
    m_options->ui.appPass->setText(edPassword->text());
    m_options->FOptions.AppServer = edServer->text();
    m_options->FOptions.AppLogin = edLogin->text();
    m_options->FOptions.AppPass = edPassword->text();
    m_options->SetFirstRun(false);
    if (m_options->InterfaceToOptions())
        m_options->SaveOptions();
    accept();
}
