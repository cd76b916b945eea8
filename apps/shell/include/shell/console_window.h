// SPDX-License-Identifier: MIT
// The window's stand-in when there is no display: the status line and every message box
// go to standard error, one line each; a box reads its answer line from standard input.
// SIGINT is the Stop button, SIGTERM and SIGHUP a Stop without confirmation.
#pragma once

#include <csignal>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "frame/window.h"

namespace shell {

class ConsoleWindow : public frame::Window {
public:
    // `input` is the descriptor answers are read from (standard input).
    ConsoleWindow(std::ostream& err, int input);

    std::function<void()> onStopClicked;
    std::function<void()> onStopWithoutConfirmation;

    void setStatusText(const std::string& text) override;
    void yieldToEvents() override;
    // Returns the default button at the end of input, and at once when the process has
    // been asked to end, so no box keeps a job from closing its port.
    frame::MessageAnswer showMessage(const frame::MessageBox& box) override;
    void hide() override {}
    void unload() override {}

private:
    // The next line of input; nullopt at its end or when the process is asked to end.
    std::optional<std::string> readLine();
    bool waitForInput();

    std::ostream& err_;
    int input_;
    std::string pending_;
    bool inputEnded_ = false;
    std::sig_atomic_t interruptsSeen_ = 0;
};

// "\r" and "\n" inside a text are written as those two-character escapes, so that every
// text stays on one line.
std::string oneLine(std::string_view text);

}  // namespace shell
