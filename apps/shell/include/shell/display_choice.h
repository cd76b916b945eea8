// SPDX-License-Identifier: MIT
// Window or console: decided before any QApplication exists, because Qt ends the process
// with an abort when the display it was told about does not answer.
#pragma once

#include <chrono>
#include <string>

namespace shell {

// How long an X display may take to answer its connection setup. A display that accepts
// the connection and never answers would otherwise hold the program for ever.
inline constexpr std::chrono::milliseconds kDisplayAnswerWait{2000};

struct DisplayChoice {
    bool window = false;
    // One line for standard error when a display was named but the job runs in the
    // console all the same; empty otherwise.
    std::string note;
};

// QT_QPA_PLATFORM naming a platform other than xcb (offscreen, say) is used as named.
// Otherwise the window needs an X display (DISPLAY) that answers within
// kDisplayAnswerWait; without one the job runs in console mode.
DisplayChoice chooseDisplay();

// Connects to the X display `name` in a child process, so a display that never answers
// can be given up on; true when the connection was set up without error in time.
bool xDisplayAnswers(const std::string& name, std::chrono::milliseconds wait);

}  // namespace shell
