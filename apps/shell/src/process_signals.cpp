// SPDX-License-Identifier: MIT
#include "shell/process_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace shell {
namespace {

// Signal handlers can reach nothing but these.
volatile std::sig_atomic_t interrupts = 0;
volatile std::sig_atomic_t endRequested = 0;
int wakeRead = -1;
int wakeWrite = -1;

void wake() {
    const int saved = errno;
    if (wakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite, &byte, 1);  // a full pipe is awake already
    }
    errno = saved;
}

extern "C" void onInterrupt(int) {
    interrupts = interrupts + 1;
    wake();
}

extern "C" void onEndRequest(int) {
    endRequested = 1;
    wake();
}

void handle(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void installSignalHandlers() {
    if (wakeRead < 0) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            wakeRead = fds[0];
            wakeWrite = fds[1];
        }
    }
    handle(SIGINT, onInterrupt);
    handle(SIGTERM, onEndRequest);
    handle(SIGHUP, onEndRequest);
    handle(SIGPIPE, SIG_IGN);
    handle(SIGXFSZ, SIG_IGN);
}

std::sig_atomic_t interruptCount() { return interrupts; }
bool stopWithoutConfirmationRequested() { return endRequested != 0; }

void takeSignals(std::sig_atomic_t& interruptsSeen, const std::function<void()>& stopWithoutConfirmation,
                 const std::function<void()>& stopClicked) {
    if (stopWithoutConfirmationRequested()) {
        if (stopWithoutConfirmation) stopWithoutConfirmation();
        return;
    }
    const std::sig_atomic_t seen = interruptCount();
    if (seen == interruptsSeen) return;
    interruptsSeen = seen;
    if (stopClicked) stopClicked();
}
int signalWakeDescriptor() { return wakeRead; }

void drainSignalWake() {
    char bytes[64];
    while (wakeRead >= 0 && ::read(wakeRead, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace shell
