#include "app/ErrorGuard.h"

#include "app/Dialogs.h"
#include "app/Logging.h"

#include <QCoreApplication>
#include <QGuiApplication>

namespace {
TLogging *g_programLog = nullptr;
bool g_reporting = false; // a box already open: further reports only go to the log
} // namespace

void InstallProgramLog(TLogging *log) {
    g_programLog = log;
}

TLogging *ProgramLog() {
    return g_programLog;
}

QString TErrorGuard::GeneralErrorText(const QString &text) {
    return QStringLiteral("Ошибка выполнения операции:\r\n") + text;
}

void TErrorGuard::report(const QString &text) noexcept {
    try {
        const QString message = GeneralErrorText(text);
        if (g_programLog)
            g_programLog->WriteMessage(LM_ERROR, message);
        if (g_reporting)
            return;
        g_reporting = true;
        const QString caption = QGuiApplication::applicationDisplayName().isEmpty()
                                    ? QCoreApplication::applicationName()
                                    : QGuiApplication::applicationDisplayName();
        m_dialogs.message(message, caption, TMsgIcon::Error);
        g_reporting = false;
    } catch (...) {
        g_reporting = false;
    }
}
