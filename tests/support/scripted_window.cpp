// SPDX-License-Identifier: MIT
#include "scripted_window.h"

namespace testing_support {

void ScriptedWindow::setStatusText(const std::string& text) {
    journal_.push_back("status:" + text);
    statusTexts.push_back(text);
}

void ScriptedWindow::yieldToEvents() {
    ++yields;
    journal_.push_back("yield");
    if (onYield) onYield(yields);
    if (stopAtYields.count(yields) != 0 && clickStop) clickStop();
}

frame::MessageAnswer ScriptedWindow::showMessage(const frame::MessageBox& box) {
    journal_.push_back("box:" + box.text);
    boxes.push_back(box);
    if (!answers.empty()) {
        const frame::MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return box.buttons == frame::MessageButtons::YesNo ? frame::MessageAnswer::Yes : frame::MessageAnswer::Ok;
}

void ScriptedWindow::hide() {
    journal_.push_back("hide");
    hidden = true;
}

void ScriptedWindow::unload() {
    journal_.push_back("unload");
    unloaded = true;
}

}  // namespace testing_support
