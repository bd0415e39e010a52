#include "ui/MainController.h"

#include "app/Logging.h"

TMainController::TMainController(TOptions &options, TDialogs &dialogs, QObject *parent)
    : QObject(parent), m_options(options), m_dialogs(dialogs) {
    tmrDemoMode.setInterval(2000);
    tmrWaitWebMap.setInterval(100);
}

void TMainController::FormShow() {
    const TFolders &f = Folders();
    const QString general = QStringLiteral("General");
    LogOperations(QStringLiteral("FolderPathAppDir=") + f.AppDir, general, 20);
    LogOperations(QStringLiteral("FolderPathProfile=") + f.ProfileDir, general, 20);
    LogOperations(QStringLiteral("FolderPathData=") + f.DataDir, general, 20);
    LogOperations(QStringLiteral("FolderPathCoordCache=") + f.CoordCacheDir, general, 20);
    LogOperations(QStringLiteral("FolderPathWebServer=") + f.WebServerDir, general, 20);

    if (openMaps)
        openMaps();

    // The server can be reached only through a connected database.
    if (m_options.AutoConnect == 1 && connectDatabase) {
        if (connectDatabase() && connectServer)
            connectServer();
    }

    if (m_options.FirstRun && showFirstRunDialog)
        showFirstRunDialog();
}

void TMainController::FormClose() {
    if (databaseConnected() && saveGridColumnWidths) {
        try {
            saveGridColumnWidths();
        } catch (const std::exception &e) {
            m_dialogs.message(QStringLiteral("Не удалось сохранить настройки при выходе:\r\n") +
                                  QString::fromStdString(e.what()),
                              QStringLiteral("Ошибка при сохранении настроек"), TMsgIcon::Error);
        }
    }
    if (disconnectServer) {
        try {
            disconnectServer();
        } catch (...) {
        }
    }
    // Window sizes and positions are kept only while a database connection exists.
    if (databaseConnected() && applySettings)
        applySettings();
    if (stopLinkThread) {
        try {
            stopLinkThread();
        } catch (...) {
        }
    }
    if (databaseConnected() && disconnectDatabase) {
        try {
            disconnectDatabase();
        } catch (...) {
        }
    }
}
