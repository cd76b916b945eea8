// SPDX-License-Identifier: MIT
#include "frame/window.h"

namespace frame {

int MessageBox::style() const {
    const int buttonStyle = buttons == MessageButtons::YesNo ? 4 : 0;
    switch (icon) {
        case MessageIcon::Question: return buttonStyle + 32;
        case MessageIcon::Exclamation: return buttonStyle + 48;
        case MessageIcon::Information: return buttonStyle + 64;
    }
    return buttonStyle;
}

}  // namespace frame
