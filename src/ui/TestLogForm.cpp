#include "ui/TestLogForm.h"

#include "app/Logging.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

TfmTestLog::TfmTestLog(std::shared_ptr<TOperationsLog> log, QWidget *parent)
    : QWidget(parent, Qt::Window), m_log(std::move(log)) {
    setWindowTitle(QStringLiteral("Лог операций"));
    m_view = new QPlainTextEdit;
    m_view->setReadOnly(true);
    auto *l = new QVBoxLayout(this);
    l->addWidget(m_view);
    resize(700, 400);
    tmrLog.setInterval(200);
    connect(&tmrLog, &QTimer::timeout, this, &TfmTestLog::tmrLogTimer);
    tmrLog.start();
}

void TfmTestLog::tmrLogTimer() {
    tmrLog.stop();
    if (m_log) {
        const size_t before = m_log->view().size();
        m_log->flushToView();
        if (isVisible() && m_log->view().size() != before) {
            QStringList lines;
            for (const QString &s : m_log->view())
                lines << s;
            m_view->setPlainText(lines.join(QLatin1Char('\n')));
        }
    }
    tmrLog.start();
}
