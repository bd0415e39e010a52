#pragma once

#include <QApplication>

class TErrorGuard;

// The desktop program's application object. An exception that escapes an event handler despite
// the guards is caught here, at the event loop, reported like any other error, and the program
// goes on.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    void setGuard(TErrorGuard *guard) { m_guard = guard; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    TErrorGuard *m_guard = nullptr;
};
