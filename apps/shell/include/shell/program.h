// SPDX-License-Identifier: MIT
// What every program of the system does between main() and its exit status: --version,
// the choice between the window and the console operator, the control and one job.
#pragma once

#include <string_view>

#include "frame/edition.h"
#include "frame/issuing_form.h"

namespace shell {

// Exit statuses, the same in all programs.
inline constexpr int kExitFinished = 0;   // the job reached the end of its data file
inline constexpr int kExitFailed = 1;     // a failure message ended the job
inline constexpr int kExitRejected = 2;   // the command line was not a valid job
inline constexpr int kExitStopped = 3;    // the operator stopped the job, or SIGTERM / SIGHUP

int exitStatusFor(frame::JobOutcome outcome);

// `windowName` is the main window's object name: "frmMokuren" or "frmTsubaki". Makes sure
// descriptors 0 to 2 are open, installs the signal handlers, then runs the job in a
// window or, without a display that answers, in the console (shell/display_choice.h).
int runProgram(const frame::Edition& edition, std::string_view windowName, int argc, char** argv);

}  // namespace shell
