// SPDX-License-Identifier: MIT
// The fonts every label is drawn with: fontconfig and pango set up once per control and
// shared by the formats it loads.
#pragma once

#include <future>
#include <memory>

namespace render {

class FontSession;  // the pango font map and context, used by the renderer's own code

class Fonts {
public:
    // Sets the fonts up on a worker thread, so that a program's window opens meanwhile;
    // the first label waits for it.
    static std::shared_ptr<Fonts> startLoading();
    // Sets them up on the calling thread when first asked for.
    static std::shared_ptr<Fonts> loadWhenNeeded();

    ~Fonts();
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    FontSession& session();

private:
    Fonts() = default;

    std::future<std::unique_ptr<FontSession>> loading_;
    std::unique_ptr<FontSession> session_;
};

}  // namespace render
