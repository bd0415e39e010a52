#pragma once

// What the progress window of an archive download shows, and its buttons: the log, the bar,
// the error mark, the completed label, the cancel/close button with its auto-close countdown
// and the collapsed or expanded log. The window only shows this model and forwards clicks;
// the timer's handler is an ordinary method a test calls directly.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "app/DateUtils.h"

class TArchiveConnection;

class TDownloadProgress : public QObject {
    Q_OBJECT
public:
    TDownloadProgress();

    // Set by the cancel button; read by the run between objects and files.
    bool Cancelled = false;
    // The connection of the running FTP download, cut by the cancel button; or none.
    TArchiveConnection *FtpConnectrion = nullptr;

    // The auto-close countdown: 250 ms ticks from 5000.
    QTimer tmrAutoClose;
    int autoCloseCounter() const { return m_counter; }
    void tmrAutoCloseTimer();

    bool isShown() const { return m_shown; }
    const QStringList &lines() const { return m_lines; }
    bool errorsMarkShown() const { return m_errorsMark; }
    bool completed() const { return m_completed; }
    const QString &cancelCaption() const { return m_cancelCaption; }
    int cancelTag() const { return m_cancelTag; }
    bool expanded() const { return m_expanded; }
    const QString &advancedCaption() const { return m_advancedCaption; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }

    // A new window: collapsed, empty log, no mark, the bar at 0, "Отмена"; then shown.
    void show();
    void setMaximum(int maximum);
    void setPosition(int position);
    // finishing 0: a new line "<short date> <long time>: text"; otherwise the text goes to the
    // end of the last line.
    void AppendLogMessage(const QString &text, int finishing, TDateTime time);
    // A new log line stamped now, or text appended to the last line.
    void log(const QString &text) { AppendLogMessage(text, 0, dt::now()); }
    void append(const QString &text) { AppendLogMessage(text, 1, dt::now()); }
    void ShowErrorsMark();
    // The run has ended: the button closes ("Закрыть"), the label shows, the countdown starts.
    void SwitchToDownloadCompleted();
    void close();

    // The buttons.
    void btnCancelClick();
    void btnAdvancedClick();

signals:
    void shown();
    void closed();
    void lineAdded(const QString &line);
    void lastLineChanged(const QString &line);
    void errorsMarkChanged(bool shown);
    void completedChanged(bool completed);
    void cancelCaptionChanged(const QString &caption);
    void expandedChanged(bool expanded);
    void maximumChanged(int maximum);
    void positionChanged(int position);

private:
    void setCancelCaption(const QString &caption);

    bool m_shown = false;
    QStringList m_lines;
    bool m_errorsMark = false;
    bool m_completed = false;
    QString m_cancelCaption;
    int m_cancelTag = 0;
    bool m_expanded = false;
    QString m_advancedCaption;
    int m_maximum = 100;
    int m_position = 0;
    int m_counter = 5000;
};
