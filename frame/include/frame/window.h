// SPDX-License-Identifier: MIT
// What the issuing frame needs of its window, so a whole job runs without a display.
#pragma once

#include <string>

namespace frame {

enum class MessageIcon { Exclamation, Question, Information };
enum class MessageButtons { Ok, YesNo };  // YesNo has Yes as its default button
enum class MessageAnswer { Ok, Yes, No };

struct MessageBox {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::Exclamation;
    MessageButtons buttons = MessageButtons::Ok;

    // The classic message-box style number: 48 exclamation + OK, 36 question + Yes/No,
    // 64 information + OK.
    int style() const;
    bool operator==(const MessageBox&) const = default;
};

class Window {
public:
    virtual ~Window() = default;

    virtual void setStatusText(const std::string& text) = 0;  // lblStatus
    // Handles pending window events; the Stop button's click runs from here.
    virtual void yieldToEvents() = 0;
    // Modal: returns when the operator has answered.
    virtual MessageAnswer showMessage(const MessageBox& box) = 0;
    virtual void hide() = 0;
    // Ends the modal display; the program ends after it.
    virtual void unload() = 0;
};

}  // namespace frame
