#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TDownloadProgress;

// "Докачка данных": the bar, the error mark, the completed label, the cancel/close button,
// and the log that "Подробно >>" shows. It only shows the download's progress model and
// forwards the buttons; it stays on top and does not block the main window.
class TDownloadProgressForm : public QDialog {
    Q_OBJECT
public:
    TDownloadProgressForm(TDownloadProgress &progress, QWidget *parent = nullptr);

    QProgressBar *pbProgress;
    QLabel *imgErrors;
    QLabel *lblCompleted;
    QPushButton *btnCancel;
    QPushButton *btnAdvanced;
    QPlainTextEdit *memoLog;

protected:
    void closeEvent(QCloseEvent *e) override;
    void reject() override;

private:
    void showExpanded(bool expanded);
    void replaceLastLine(const QString &line);

    TDownloadProgress &m_progress;
};
