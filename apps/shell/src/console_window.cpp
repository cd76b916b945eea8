// SPDX-License-Identifier: MIT
#include "shell/console_window.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "shell/process_signals.h"

namespace shell {
namespace {

const char* iconName(frame::MessageIcon icon) {
    switch (icon) {
        case frame::MessageIcon::Exclamation: return "exclamation";
        case frame::MessageIcon::Question: return "question";
        case frame::MessageIcon::Information: return "information";
    }
    return "none";
}

const char* buttonsName(frame::MessageButtons buttons) {
    return buttons == frame::MessageButtons::YesNo ? "YesNo" : "OK";
}

// y/n (or yes/no, はい/いいえ) for a Yes/No box; nullopt for anything else.
std::optional<frame::MessageAnswer> yesNoAnswer(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "y" || line == "Y" || line == "yes" || line == "はい") return frame::MessageAnswer::Yes;
    if (line == "n" || line == "N" || line == "no" || line == "いいえ") return frame::MessageAnswer::No;
    return std::nullopt;
}

}  // namespace

std::string oneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            line += "\\r";
        } else if (c == '\n') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

ConsoleWindow::ConsoleWindow(std::ostream& err, int input) : err_(err), input_(input) {}

void ConsoleWindow::setStatusText(const std::string& text) { err_ << "status: " << oneLine(text) << std::endl; }

// Ctrl+C since the last yield, once or more, is one press of the Stop button; a request to
// end needs no confirmation.
void ConsoleWindow::yieldToEvents() { takeSignals(interruptsSeen_, onStopWithoutConfirmation, onStopClicked); }

frame::MessageAnswer ConsoleWindow::showMessage(const frame::MessageBox& box) {
    err_ << "box: title=" << box.title << " icon=" << iconName(box.icon) << " buttons=" << buttonsName(box.buttons)
         << " text=" << oneLine(box.text) << std::endl;
    const bool yesNo = box.buttons == frame::MessageButtons::YesNo;
    while (const auto line = readLine()) {
        if (!yesNo) return frame::MessageAnswer::Ok;
        if (const auto answer = yesNoAnswer(*line)) return *answer;
        err_ << "box: answer y or n" << std::endl;
    }
    // End of input, or the process asked to end, presses the default button.
    return yesNo ? frame::MessageAnswer::Yes : frame::MessageAnswer::Ok;
}

std::optional<std::string> ConsoleWindow::readLine() {
    while (true) {
        if (stopWithoutConfirmationRequested()) return std::nullopt;
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (inputEnded_) {
            if (pending_.empty()) return std::nullopt;
            return std::exchange(pending_, {});  // a last line without its line break
        }
        if (!waitForInput()) continue;
        char bytes[4096];
        const ssize_t got = ::read(input_, bytes, sizeof bytes);
        if (got > 0) {
            pending_.append(bytes, static_cast<std::size_t>(got));
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            inputEnded_ = true;
        }
    }
}

// Waits for input or a signal; true when input can be read.
bool ConsoleWindow::waitForInput() {
    pollfd ready[2] = {{input_, POLLIN, 0}, {signalWakeDescriptor(), POLLIN, 0}};
    if (::poll(ready, 2, -1) < 0) return false;  // a signal: looked at by the caller
    if (ready[1].revents != 0) drainSignalWake();
    return ready[0].revents != 0;
}

}  // namespace shell
