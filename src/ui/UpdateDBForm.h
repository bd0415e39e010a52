#pragma once

#include <QDialog>

#include <functional>

class TDialogs;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TDatabasePart;
namespace db {
class TDatabaseUpdater;
} // namespace db

// "Обновление базы данных": shows the update's log and forwards the commands to the session's
// database part, which runs the update through the runner.
class TUpdateDBForm : public QDialog {
    Q_OBJECT
public:
    TUpdateDBForm(TDatabasePart &database, TDialogs &dialogs, QWidget *parent = nullptr);
    ~TUpdateDBForm() override;

    // Shown from the connect command: runs at once with the default script, no cancel.
    void PerformUpdate();
    // The menu command: modal; the user picks the script and starts the run.
    void execModal();

    static QString defaultScript();

private:
    TDatabasePart &m_database;
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
