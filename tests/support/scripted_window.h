// SPDX-License-Identifier: MIT
// A window without a display: records status texts and message boxes, answers boxes
// from a script and can press Stop during a chosen yield.
#pragma once

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "frame/window.h"
#include "journal.h"

namespace testing_support {

class ScriptedWindow : public frame::Window {
public:
    explicit ScriptedWindow(Journal& journal) : journal_(journal) {}

    // Answers for the next message boxes; an unscripted box gets its default button.
    std::deque<frame::MessageAnswer> answers;
    // Yield numbers (from 1) during which the Stop button is clicked.
    std::set<int> stopAtYields;
    std::function<void()> clickStop;  // connected to the form's handler
    std::function<void(int yieldNumber)> onYield;

    std::vector<std::string> statusTexts;
    std::vector<frame::MessageBox> boxes;
    int yields = 0;
    bool hidden = false;
    bool unloaded = false;

    std::string statusText() const { return statusTexts.empty() ? std::string() : statusTexts.back(); }

    void setStatusText(const std::string& text) override;
    void yieldToEvents() override;
    frame::MessageAnswer showMessage(const frame::MessageBox& box) override;
    void hide() override;
    void unload() override;

private:
    Journal& journal_;
};

}  // namespace testing_support
