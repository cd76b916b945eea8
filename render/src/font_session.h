// SPDX-License-Identifier: MIT
// The pango font map and context that shape every text of a control's labels.
#pragma once

#include <pango/pangocairo.h>

#include "handles.h"

namespace render {

inline constexpr const char* kDefaultFontFamily = "Noto Sans CJK JP";

class FontSession {
public:
    FontSession();

    // Opens the default family, regular and bold, so that a first label finds them ready.
    void openDefaultFaces();

    PangoContext* context() const { return context_.get(); }

private:
    GObjectHandle<PangoFontMap> fontMap_;
    GObjectHandle<PangoContext> context_;
};

}  // namespace render
