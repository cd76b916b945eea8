// SPDX-License-Identifier: MIT
// The fonts every label is drawn with: fontconfig and pango set up once per control and
// shared by the formats it loads.
#pragma once

#include <functional>
#include <future>
#include <memory>

namespace render {

class FontSession;  // the pango font map and context, used by the renderer's own code

class Fonts {
public:
    // Draws something through fonts that are being set up, on the thread that sets them up.
    using WarmUp = std::function<void(const std::shared_ptr<Fonts>&)>;

    // Sets the fonts up on a worker thread, so that a program's window opens meanwhile:
    // through `warmUp` when given, else by opening the default family. The first label
    // waits for it.
    static std::shared_ptr<Fonts> startLoading(WarmUp warmUp = {});
    // Sets them up on the calling thread when first asked for.
    static std::shared_ptr<Fonts> loadWhenNeeded();

    ~Fonts();
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;

    FontSession& session();

private:
    Fonts() = default;
    // Fonts for a warm-up: the session that is being set up, not owned.
    static std::shared_ptr<Fonts> borrowing(FontSession& session);

    std::future<std::unique_ptr<FontSession>> loading_;
    std::unique_ptr<FontSession> session_;
    FontSession* borrowed_ = nullptr;
};

}  // namespace render
