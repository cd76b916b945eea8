// SPDX-License-Identifier: MIT
// The window's stand-in when there is no display: the status line and every message box
// go to standard error, one line each; a box reads its answer line from standard input,
// and SIGINT is the Stop button.
#pragma once

#include <csignal>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <ostream>

#include "frame/window.h"

namespace shell {

class ConsoleWindow : public frame::Window {
public:
    ConsoleWindow(std::ostream& err, std::istream& in, const volatile std::sig_atomic_t& interrupted);

    std::function<void()> onStopClicked;

    void setStatusText(const std::string& text) override;
    void yieldToEvents() override;
    frame::MessageAnswer showMessage(const frame::MessageBox& box) override;
    void hide() override {}
    void unload() override {}

private:
    std::ostream& err_;
    std::istream& in_;
    const volatile std::sig_atomic_t& interrupted_;
    std::sig_atomic_t interruptsSeen_ = 0;
};

// "\r" and "\n" inside a text are written as those two-character escapes, so that every
// text stays on one line.
std::string oneLine(std::string_view text);

}  // namespace shell
