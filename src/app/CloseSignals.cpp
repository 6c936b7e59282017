#include "CloseSignals.h"

#include <QApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace zem::app {

namespace {

// The handler may only write a byte; the window's thread reads it.
std::array<int, 2> g_signalPipe{-1, -1};

constexpr std::array<int, 2> kCloseSignals{SIGTERM, SIGHUP};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

void CloseOnSignals(QWidget* window) {
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe.data()) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window = QPointer<QWidget>(window)] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[1], &byte, 1);
        // A box waiting for an answer is answered "no" first; the window
        // closes once the box's own loop has ended.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (modal == window.data() || !modal->close())
                break;
        }
        QTimer::singleShot(0, window.data(), [window] {
            if (window)
                window->close();
        });
    });
    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kCloseSignals)
        ::sigaction(number, &action, nullptr);
}

} // namespace zem::app
