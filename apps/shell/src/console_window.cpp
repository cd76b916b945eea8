// SPDX-License-Identifier: MIT
#include "shell/console_window.h"

#include <string>

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

ConsoleWindow::ConsoleWindow(std::ostream& err, std::istream& in, const volatile std::sig_atomic_t& interrupted)
    : err_(err), in_(in), interrupted_(interrupted) {}

void ConsoleWindow::setStatusText(const std::string& text) { err_ << "status: " << oneLine(text) << std::endl; }

// Ctrl+C since the last yield, once or more, is one press of the Stop button.
void ConsoleWindow::yieldToEvents() {
    const std::sig_atomic_t seen = interrupted_;
    if (seen == interruptsSeen_) return;
    interruptsSeen_ = seen;
    if (onStopClicked) onStopClicked();
}

frame::MessageAnswer ConsoleWindow::showMessage(const frame::MessageBox& box) {
    err_ << "box: title=" << box.title << " icon=" << iconName(box.icon) << " buttons=" << buttonsName(box.buttons)
         << " text=" << oneLine(box.text) << std::endl;
    const bool yesNo = box.buttons == frame::MessageButtons::YesNo;
    std::string line;
    while (std::getline(in_, line)) {
        if (!yesNo) return frame::MessageAnswer::Ok;
        if (const auto answer = yesNoAnswer(line)) return *answer;
        err_ << "box: answer y or n" << std::endl;
    }
    // End of input presses the default button.
    return yesNo ? frame::MessageAnswer::Yes : frame::MessageAnswer::Ok;
}

}  // namespace shell
