#include "ui/Application.h"

#include "app/ErrorGuard.h"
#include "app/Logging.h"

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        if (m_guard)
            m_guard->report(TErrorGuard::ExceptionText(e));
        else if (TLogging *log = ProgramLog())
            log->WriteMessage(LM_ERROR,
                              TErrorGuard::GeneralErrorText(TErrorGuard::ExceptionText(e)));
    } catch (...) {
        if (m_guard)
            m_guard->report(QStringLiteral("неизвестная ошибка"));
    }
    return false;
}
