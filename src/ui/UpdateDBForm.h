#pragma once

#include <QDialog>

#include <functional>

struct TOptions;
class TDialogs;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace db {
class TDatabase;
class TDatabaseUpdater;
} // namespace db

// "Обновление базы данных": shows the update's log and forwards the commands to
// db::TDatabaseUpdater. The owner gives the updater its settings save and the session's
// disconnect before running it.
class TUpdateDBForm : public QDialog {
    Q_OBJECT
public:
    TUpdateDBForm(TOptions &options, TDialogs &dialogs, db::TDatabase &mainDatabase,
                  QWidget *parent = nullptr);
    ~TUpdateDBForm() override;

    // Shown from the connect command: runs at once with the default script, no cancel.
    void PerformUpdate();
    // The menu command: modal; the user picks the script and starts the run.
    void execModal();

    db::TDatabaseUpdater &updater() { return *m_updater; }
    static QString defaultScript();

private:
    db::TDatabaseUpdater *m_updater;
    QLineEdit *edScript;
    QPushButton *btnBrowse;
    QCheckBox *cbSkipHistory;
    QLabel *lblNewFile;
    QPlainTextEdit *mmLog;
    QPushButton *btnRun;
    QPushButton *btnCancel;
    QPushButton *btnClose;
    TDialogs &m_dialogs;
    bool m_allowCancel = true;

    void btnRunClick();
    void setRunning(bool running);
};
