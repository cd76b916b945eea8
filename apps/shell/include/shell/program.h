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
inline constexpr int kExitStopped = 3;    // the operator stopped the job

int exitStatusFor(frame::JobOutcome outcome);

// A window needs a display: X11 (DISPLAY), Wayland (WAYLAND_DISPLAY) or a Qt platform
// named in QT_QPA_PLATFORM, such as offscreen. Checked before any QApplication exists.
bool displayAvailable();

// `windowName` is the main window's object name: "frmMokuren" or "frmTsubaki".
int runProgram(const frame::Edition& edition, std::string_view windowName, int argc, char** argv);

}  // namespace shell
