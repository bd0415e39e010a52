#include "ui/AutoConnectForm.h"

#include "session/ServerMessages.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfmAutoConnectToServer::TfmAutoConnectToServer(TAutoConnectToServer &logic, QWidget *parent)
    : QDialog(parent), m_logic(logic) {
    setWindowTitle(QStringLiteral("Автоматическое подключение к серверу"));
    setModal(false);
    auto *text = new QLabel(QStringLiteral(
        "Соединение с сервером потеряно. Будет выполнено автоматическое подключение через"));
    text->setWordWrap(true);
    m_counter = new QLabel(logic.counterText());
    QFont f = m_counter->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    m_counter->setFont(f);
    m_counter->setAlignment(Qt::AlignCenter);
    auto *connectBtn = new QPushButton(QStringLiteral("Подключиться"));
    auto *cancelBtn = new QPushButton(QStringLiteral("Отмена"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connectBtn);
    buttons->addWidget(cancelBtn);
    auto *l = new QVBoxLayout(this);
    l->addWidget(text);
    l->addWidget(m_counter);
    l->addLayout(buttons);
    l->setSizeConstraint(QLayout::SetMinimumSize);
    text->setMinimumWidth(360);
    resize(420, 160);

    connect(connectBtn, &QPushButton::clicked, &logic, &TAutoConnectToServer::btnConnectClick);
    connect(cancelBtn, &QPushButton::clicked, &logic, &TAutoConnectToServer::btnCancelClick);
    connect(&logic, &TAutoConnectToServer::counterChanged, m_counter, &QLabel::setText);
    connect(&logic, &TAutoConnectToServer::visibilityChanged, this, [this](bool shown) {
        if (shown)
            show();
        else
            hide();
    });
}

void TfmAutoConnectToServer::closeEvent(QCloseEvent *e) {
    m_logic.close();
    QDialog::closeEvent(e);
}
