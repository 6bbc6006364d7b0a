#include "InterruptWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

// The pipe is global because a signal handler can reach nothing else.
int interruptPipe[2] = { -1, -1 };
struct sigaction previousAction;

extern "C" void onInterruptSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a pending interrupt; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject *parent)
    : QObject(parent)
{
}

InterruptWatcher::~InterruptWatcher()
{
    if (!installed)
        return;
    ::sigaction(SIGINT, &previousAction, nullptr);
    notifier.reset();
    ::close(interruptPipe[0]);
    ::close(interruptPipe[1]);
    interruptPipe[0] = interruptPipe[1] = -1;
}

bool InterruptWatcher::install()
{
    if (installed)
        return true;
    if (interruptPipe[0] >= 0 || ::pipe2(interruptPipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, &previousAction) != 0) {
        ::close(interruptPipe[0]);
        ::close(interruptPipe[1]);
        interruptPipe[0] = interruptPipe[1] = -1;
        return false;
    }
    installed = true;
    notifier = std::make_unique<QSocketNotifier>(interruptPipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &InterruptWatcher::drain);
    return true;
}

void InterruptWatcher::drain()
{
    char buffer[64];
    bool any = false;
    // Bounded: the pipe is non-blocking and holds at most its capacity.
    for (int round = 0; round < 1024; ++round) {
        const ssize_t got = ::read(interruptPipe[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        any = true;
    }
    if (any)
        emit interrupted();
}
