#include "archive/DownloadProgress.h"

#include "archive/Transfers.h"

TDownloadProgress::TDownloadProgress() {
    tmrAutoClose.setInterval(250);
    connect(&tmrAutoClose, &QTimer::timeout, this, &TDownloadProgress::tmrAutoCloseTimer);
    m_cancelCaption = QStringLiteral("Отмена");
    m_advancedCaption = QStringLiteral("Подробно >>");
}

void TDownloadProgress::show() {
    tmrAutoClose.stop();
    m_counter = 5000;
    Cancelled = false;
    m_lines.clear();
    m_errorsMark = false;
    m_completed = false;
    m_cancelTag = 0;
    m_cancelCaption = QStringLiteral("Отмена");
    m_expanded = false;
    m_advancedCaption = QStringLiteral("Подробно >>");
    m_maximum = 100;
    m_position = 0;
    m_shown = true;
    emit shown();
}

void TDownloadProgress::setMaximum(int maximum) {
    m_maximum = maximum;
    emit maximumChanged(maximum);
}

void TDownloadProgress::setPosition(int position) {
    m_position = position;
    emit positionChanged(position);
}

void TDownloadProgress::AppendLogMessage(const QString &text, int finishing, TDateTime time) {
    if (finishing != 0) {
        if (m_lines.isEmpty()) {
            m_lines << text;
            emit lineAdded(text);
        } else {
            m_lines.last() += text;
            emit lastLineChanged(m_lines.last());
        }
        return;
    }
    const QString line =
        dt::dateToStr(time) + QLatin1Char(' ') + dt::timeToStr(time) + QStringLiteral(": ") + text;
    m_lines << line;
    emit lineAdded(line);
}

void TDownloadProgress::ShowErrorsMark() {
    m_errorsMark = true;
    emit errorsMarkChanged(true);
}

void TDownloadProgress::SwitchToDownloadCompleted() {
    m_cancelTag = 1;
    setCancelCaption(QStringLiteral("Закрыть"));
    m_completed = true;
    emit completedChanged(true);
    tmrAutoClose.start();
}

void TDownloadProgress::close() {
    tmrAutoClose.stop();
    if (!m_shown)
        return;
    m_shown = false;
    emit closed();
}

void TDownloadProgress::btnCancelClick() {
    Cancelled = true;
    if (m_cancelTag == 1) {
        close();
        return;
    }
    log(QStringLiteral("Отмена загрузки данных "));
    // The running transfer fails at once; whatever the connection says is of no interest.
    if (FtpConnectrion)
        FtpConnectrion->Disconnect();
}

void TDownloadProgress::btnAdvancedClick() {
    m_expanded = !m_expanded;
    m_advancedCaption = m_expanded ? QStringLiteral("Скрыть <<") : QStringLiteral("Подробно >>");
    emit expandedChanged(m_expanded);
    tmrAutoClose.stop();
    setCancelCaption(QStringLiteral("Закрыть"));
}

void TDownloadProgress::tmrAutoCloseTimer() {
    if (m_counter / 1000 != 0) {
        setCancelCaption(QStringLiteral("Закрыть (") + QString::number(m_counter / 1000) +
                         QLatin1Char(')'));
        m_counter -= 250;
        return;
    }
    tmrAutoClose.stop();
    btnCancelClick();
}

void TDownloadProgress::setCancelCaption(const QString &caption) {
    m_cancelCaption = caption;
    emit cancelCaptionChanged(caption);
}
