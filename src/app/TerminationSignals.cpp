#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_fds[2] = {-1, -1}; // [0] written by the handler, [1] read by the notifier

extern "C" void onTerminationSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    if (g_fds[0] >= 0) {
        const ssize_t written = ::write(g_fds[0], &byte, 1);
        (void)written; // a full pipe already holds a byte that ends the program
    }
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

TTerminationSignals::TTerminationSignals(QObject *parent) : QObject(parent) {
    if (g_fds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0)
        return;
    // The handler must never block; the reader takes what has come.
    for (int fd : g_fds)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TTerminationSignals::readPending);
    install();
}

TTerminationSignals::~TTerminationSignals() {
    if (!m_notifier)
        return;
    for (int signo : kSignals)
        ::signal(signo, SIG_DFL);
    for (int &fd : g_fds) {
        ::close(fd);
        fd = -1;
    }
}

void TTerminationSignals::install() {
    if (!m_notifier)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signo : kSignals)
        ::sigaction(signo, &sa, nullptr);
}

void TTerminationSignals::readPending() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_fds[1], bytes, sizeof bytes);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}
