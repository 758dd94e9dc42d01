#include "UnixSignalNotifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace ambrel {

namespace {

int writeEnd = -1;
std::vector<int> handled;

void forward(int signal) {
    const unsigned char number = static_cast<unsigned char>(signal);
    // Nothing more is safe in a signal handler; a full pipe drops the signal. The interrupted
    // code may be about to read errno.
    const int savedErrno = errno;
    [[maybe_unused]] const auto written = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

UnixSignalNotifier::UnixSignalNotifier(std::initializer_list<int> numbers,
                                       std::function<void(int)> onSignal)
    : onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        return;
    }
    writeEnd = fds_[0];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
        unsigned char number = 0;
        while (::read(fds_[1], &number, 1) == 1) {
            if (onSignal_) {
                onSignal_(number);
            }
        }
    });
    struct sigaction action = {};
    action.sa_handler = forward;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : numbers) {
        ::sigaction(signal, &action, nullptr);
        handled.push_back(signal);
    }
}

UnixSignalNotifier::~UnixSignalNotifier() {
    for (const int signal : handled) {
        ::signal(signal, SIG_DFL);
    }
    handled.clear();
    writeEnd = -1;
    notifier_.reset();
    for (const int fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

} // namespace ambrel
