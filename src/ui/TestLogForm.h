#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

class QPlainTextEdit;
class TOperationsLog;

// The operations-log view: the newest line first, at most a thousand lines.
class TfmTestLog : public QWidget {
    Q_OBJECT
public:
    explicit TfmTestLog(std::shared_ptr<TOperationsLog> log, QWidget *parent = nullptr);

    QTimer tmrLog;
    void tmrLogTimer();

private:
    std::shared_ptr<TOperationsLog> m_log;
    QPlainTextEdit *m_view;
};
