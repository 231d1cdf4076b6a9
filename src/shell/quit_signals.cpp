#include "shell/quit_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {
namespace {

// [0]: written by the handler; [1]: read on the user-interface thread.
int g_pair[2] = {-1, -1};

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void on_quit_signal(int signal_number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    // Non-blocking: with the socket full the signal is already pending there.
    [[maybe_unused]] const ssize_t n = ::write(g_pair[0], &byte, 1);
    errno = saved;
}

bool make_pair() {
    if (g_pair[0] >= 0) return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pair) != 0) {
        g_pair[0] = g_pair[1] = -1;
        return false;
    }
    return true;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (!make_pair()) return;
    notifier_ = new QSocketNotifier(static_cast<qintptr>(g_pair[1]), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { read_pending(); });
    struct sigaction action {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        // A signal the program was started with ignored (nohup, a background
        // job of a shell) stays ignored.
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(s, &action, nullptr);
    }
}

QuitSignals::~QuitSignals() = default;

void QuitSignals::read_pending() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(g_pair[1], bytes, sizeof bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        for (ssize_t i = 0; i < n; ++i)
            emit received(bytes[i]);
    }
}

} // namespace orv
