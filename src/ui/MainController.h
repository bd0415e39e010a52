#pragma once

#include "app/Dialogs.h"
#include "app/Folders.h"
#include "app/Options.h"

#include <QObject>
#include <QTimer>

#include <functional>

// The main window's state and its start and exit steps, free of widgets. The window owns one,
// fills in the hooks of the subsystems that exist, and forwards its events here.
class TMainController : public QObject {
    Q_OBJECT
public:
    TMainController(TOptions &options, TDialogs &dialogs, QObject *parent = nullptr);

    // Server link as shown in the status bar: 0 not connected, 1 connecting/authorising, 2 failed.
    int FCurrentConnectState = 0;
    // Database connection: 0 none, 1 connected, 2 failed.
    unsigned char FLastDbConnectionSost = 0;
    bool InternetIsOK = false;
    bool WebMapInited = false;
    bool WebMapReady = false;
    bool isArchiveView = false;

    QTimer tmrDemoMode;
    QTimer tmrWaitWebMap;

    // Subsystem steps; an unset hook is a subsystem not present in this build.
    std::function<void()> openMaps; // the settings' maps into the map panel, the default opened
    std::function<bool()> connectDatabase;  // the connect-to-database command; true on success
    std::function<void()> connectServer;    // the connect-to-server command
    std::function<void()> disconnectServer; // errors are swallowed by the caller
    std::function<void()> disconnectDatabase;
    std::function<void()> saveGridColumnWidths; // throws on failure
    std::function<bool()> applySettings;        // the settings window's "Применить"
    std::function<void()> showFirstRunDialog;   // modal
    std::function<void()> stopLinkThread;       // asks the link thread to end and waits

    // First display: folders to the operations log, automatic connection, first-run dialog.
    void FormShow();
    // Closing: grid widths and settings saved only while connected, link closed, database closed.
    void FormClose();

    std::function<bool()> isDatabaseConnected; // the database controller's state, when present
    bool databaseConnected() const {
        return isDatabaseConnected ? isDatabaseConnected() : FLastDbConnectionSost == 1;
    }

private:
    TOptions &m_options;
    TDialogs &m_dialogs;
};
