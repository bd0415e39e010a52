#pragma once

#include <QDialog>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TImportProgress;

// "Импорт данных": the log, the bar and the cancel button of an import run. It only shows the
// run's progress model and forwards the button.
class TfrmProgressInput : public QDialog {
    Q_OBJECT
public:
    TfrmProgressInput(TImportProgress &progress, QWidget *parent = nullptr);

    QPlainTextEdit *memoLog;
    QProgressBar *pbCompletion;
    QPushButton *cancelBtn;

protected:
    void closeEvent(QCloseEvent *e) override;
    void reject() override;

private:
    TImportProgress &m_progress;
};
