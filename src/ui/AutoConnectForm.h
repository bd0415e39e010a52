#pragma once

#include <QDialog>

class QLabel;
class TAutoConnectToServer;

// "Автоматическое подключение к серверу": shows the countdown of the reconnection logic.
class TfmAutoConnectToServer : public QDialog {
    Q_OBJECT
public:
    TfmAutoConnectToServer(TAutoConnectToServer &logic, QWidget *parent = nullptr);
    QLabel *counter() const { return m_counter; }

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    TAutoConnectToServer &m_logic;
    QLabel *m_counter;
};
