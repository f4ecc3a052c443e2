#include "EKQtTermination.h"

#include "EKCLog.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler may only write to a descriptor; the UI thread reads it.
int gSignalFds[2] = {-1, -1};

extern "C" void OnTermSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(gSignalFds[0], &byte, 1);
}

const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

} // namespace

TEKQtTermination::TEKQtTermination(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalFds) != 0) {
        WriteLog(8, "TEKQtTermination", "no signal channel: the client ends on signals at once");
        return;
    }
    // Neither end may block: not the handler's write, not the drain below.
    for (int fd : gSignalFds) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    FNotifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TEKQtTermination::OnSignal);
    // Windows opened after the signal (a dialog that was about to appear) are
    // closed too, until the run has ended.
    FTimer = new QTimer(this);
    FTimer->setInterval(100);
    connect(FTimer, &QTimer::timeout, this, &TEKQtTermination::CloseWindows);

    struct sigaction sa = {};
    sa.sa_handler = OnTermSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

TEKQtTermination::~TEKQtTermination()
{
    if (FNotifier == nullptr)
        return;
    for (int sig : kSignals)
        ::signal(sig, SIG_DFL);
    ::close(gSignalFds[0]);
    ::close(gSignalFds[1]);
    gSignalFds[0] = gSignalFds[1] = -1;
}

void TEKQtTermination::OnSignal()
{
    char buf[16];
    while (::read(gSignalFds[1], buf, sizeof buf) > 0) {
    }
    if (!FRequested) {
        FRequested = true;
        WriteLog(5, "TEKQtTermination", "end of the run requested by a signal");
        FTimer->start();
    }
    CloseWindows();
}

void TEKQtTermination::CloseWindows()
{
    QApplication::closeAllWindows();
}
