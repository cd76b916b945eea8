// SPDX-License-Identifier: MIT
// What the process's signals ask of a running job. SIGINT is the Stop button (asked at the
// next yield, with its confirmation); SIGTERM and SIGHUP are a Stop without confirmation,
// which also closes a message box that waits for an answer. The handlers only count and
// write one byte to a pipe, which the window's event loop and the console's wait for an
// answer watch beside their own input.
#pragma once

#include <csignal>
#include <functional>

namespace shell {

// Installs the handlers once, before the job starts. SIGPIPE and SIGXFSZ are ignored, so
// that a reader gone from standard error or a file-size limit is a failed write, not a
// process killed in the middle of a label.
void installSignalHandlers();

std::sig_atomic_t interruptCount();  // SIGINTs so far
bool stopWithoutConfirmationRequested();  // a SIGTERM or SIGHUP has arrived
// What the signals since a window's last look ask of it: a Stop without confirmation wins;
// Ctrl+C once or more since `interruptsSeen` is one press of the Stop button.
void takeSignals(std::sig_atomic_t& interruptsSeen, const std::function<void()>& stopWithoutConfirmation,
                 const std::function<void()>& stopClicked);
// Readable after any of the signals above; drainSignalWake() empties it.
int signalWakeDescriptor();
void drainSignalWake();

}  // namespace shell
