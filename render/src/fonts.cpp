// SPDX-License-Identifier: MIT
#include "render/fonts.h"

#include "font_session.h"

namespace render {
namespace {

// Outlines are hinted for crisp small glyphs on a printer's dots, but advances are not
// rounded, so a text takes the same room at every resolution and in a PDF.
FontOptionsHandle shapingOptions() {
    FontOptionsHandle options(cairo_font_options_create());
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    return options;
}

void openFace(PangoContext* context, bool bold) {
    FontDescriptionHandle description(pango_font_description_from_string(kDefaultFontFamily));
    pango_font_description_set_weight(description.get(), bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(description.get(), 20.0 * PANGO_SCALE);
    GObjectHandle<PangoLayout> layout(pango_layout_new(context));
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_text(layout.get(), "入荷ラベル 0123", -1);
    static_cast<void>(pango_layout_get_unknown_glyphs_count(layout.get()));  // shapes it
}

}  // namespace

FontSession::FontSession()
    : fontMap_(pango_cairo_font_map_new()), context_(pango_font_map_create_context(fontMap_.get())) {
    const FontOptionsHandle options = shapingOptions();
    pango_cairo_context_set_font_options(context_.get(), options.get());
}

void FontSession::openDefaultFaces() {
    openFace(context_.get(), false);
    openFace(context_.get(), true);
}

std::shared_ptr<Fonts> Fonts::startLoading(WarmUp warmUp) {
    std::shared_ptr<Fonts> fonts(new Fonts());
    fonts->loading_ = std::async(std::launch::async, [warmUp = std::move(warmUp)] {
        auto session = std::make_unique<FontSession>();
        try {
            if (warmUp) {
                warmUp(borrowing(*session));
            } else {
                session->openDefaultFaces();
            }
        } catch (...) {
            // Only time is lost: the first label sets up what the warm-up did not.
        }
        return session;
    });
    return fonts;
}

std::shared_ptr<Fonts> Fonts::borrowing(FontSession& session) {
    std::shared_ptr<Fonts> fonts(new Fonts());
    fonts->borrowed_ = &session;
    return fonts;
}

std::shared_ptr<Fonts> Fonts::loadWhenNeeded() { return std::shared_ptr<Fonts>(new Fonts()); }

Fonts::~Fonts() = default;

FontSession& Fonts::session() {
    if (borrowed_ != nullptr) return *borrowed_;
    if (!session_) {
        session_ = loading_.valid() ? loading_.get() : std::make_unique<FontSession>();
    }
    return *session_;
}

}  // namespace render
