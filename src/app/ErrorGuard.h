#pragma once

// Errors never end the program: every command and event handler runs its work through
// TErrorGuard, which turns an escaping exception into the general error message and a line in
// the program log. The event loop's last-resort catch uses the same report.

#include <QString>

#include <exception>
#include <utility>

class TDialogs;
class TLogging;

class TErrorGuard {
public:
    explicit TErrorGuard(TDialogs &dialogs) : m_dialogs(dialogs) {}

    // Runs f; an exception is reported and false returned.
    template <class F> bool run(F &&f) noexcept {
        try {
            std::forward<F>(f)();
            return true;
        } catch (const std::exception &e) {
            report(ExceptionText(e));
        } catch (...) {
            report(QStringLiteral("неизвестная ошибка"));
        }
        return false;
    }

    // The general error message: the fixed sentence, CR LF, the error's text; also logged.
    void report(const QString &text) noexcept;

    static QString ExceptionText(const std::exception &e) { return QString::fromUtf8(e.what()); }
    static QString GeneralErrorText(const QString &text);

private:
    TDialogs &m_dialogs;
};

// The process-wide program log the guard writes to (none until installed; main thread only).
void InstallProgramLog(TLogging *log);
TLogging *ProgramLog();
