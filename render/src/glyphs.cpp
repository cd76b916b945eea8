// SPDX-License-Identifier: MIT
#include "glyphs.h"

#include <algorithm>
#include <cmath>

#include <pango/pangocairo.h>

#include "handles.h"
#include "raster_surface.h"

namespace render {
namespace {

constexpr const char* kCacheKey = "mokuren-glyph-cache";
// Room around the outline's extents for what hinting moves.
constexpr int kMarginDots = 3;
// A dot is black where the glyph covers at least half of it, as everywhere else on a label.
constexpr unsigned char kHalfCovered = 128;

using GlyphStringHandle = std::unique_ptr<PangoGlyphString, FreeWith<pango_glyph_string_free>>;

GlyphStringHandle oneGlyph(PangoGlyph glyph) {
    GlyphStringHandle string(pango_glyph_string_new());
    pango_glyph_string_set_size(string.get(), 1);
    string->glyphs[0].glyph = glyph;
    string->glyphs[0].geometry = {0, 0, 0};
    string->glyphs[0].attr.is_cluster_start = 1;
    return string;
}

// The glyph drawn alone with its origin on a whole dot, cut to its black dots.
void drawDots(PangoFont* font, PangoGlyph glyph, double condense, GlyphImage& image) {
    PangoRectangle ink{};
    pango_font_get_glyph_extents(font, glyph, &ink, nullptr);
    if (ink.width <= 0 || ink.height <= 0) return;  // a blank
    const double dotsPerUnit = 1.0 / PANGO_SCALE;
    const int left = static_cast<int>(std::floor(ink.x * dotsPerUnit * condense)) - kMarginDots;
    const int top = static_cast<int>(std::floor(ink.y * dotsPerUnit)) - kMarginDots;
    const int width = static_cast<int>(std::ceil((ink.x + ink.width) * dotsPerUnit * condense)) + kMarginDots - left;
    const int height = static_cast<int>(std::ceil((ink.y + ink.height) * dotsPerUnit)) + kMarginDots - top;
    const SurfaceHandle surface(cairo_image_surface_create(CAIRO_FORMAT_A8, width, height));
    {
        const CairoHandle cr(cairo_create(surface.get()));
        cairo_translate(cr.get(), -left, -top);
        cairo_scale(cr.get(), condense, 1.0);
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
        cairo_move_to(cr.get(), 0, 0);
        pango_cairo_show_glyph_string(cr.get(), font, oneGlyph(glyph).get());
    }
    cairo_surface_flush(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.get()));
    const auto covered = [&](int x, int y) {
        return data[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x)] >= kHalfCovered;
    };
    int inkLeft = width, inkRight = -1, inkTop = height, inkBottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!covered(x, y)) continue;
            inkLeft = std::min(inkLeft, x);
            inkRight = std::max(inkRight, x);
            inkTop = std::min(inkTop, y);
            inkBottom = std::max(inkBottom, y);
        }
    }
    if (inkRight < 0) return;
    image.dots = Raster::blank(inkRight - inkLeft + 1, inkBottom - inkTop + 1, 0);
    for (int y = inkTop; y <= inkBottom; ++y) {
        for (int x = inkLeft; x <= inkRight; ++x) {
            if (covered(x, y)) image.dots.setBlack(x - inkLeft, y - inkTop);
        }
    }
    image.leftDots = left + inkLeft;
    image.topDots = top + inkTop;
}

}  // namespace

std::shared_ptr<const GlyphImage> GlyphCache::image(PangoFont* font, const std::string& face, PangoGlyph glyph,
                                                    double condense, int advanceDots) {
    const std::string key = face + "|" + std::to_string(glyph) + "|" + std::to_string(advanceDots);
    if (const auto found = images_.find(key); found != images_.end()) return found->second;
    if (images_.size() >= kMostGlyphs) images_.clear();
    auto image = std::make_shared<GlyphImage>();
    image->face = face;
    image->glyph = glyph;
    image->advanceDots = advanceDots;
    drawDots(font, glyph, condense, *image);
    images_.emplace(key, image);
    return image;
}

void attachGlyphCache(PangoContext* context) {
    g_object_set_data_full(G_OBJECT(context), kCacheKey, new GlyphCache(),
                           [](gpointer cache) { delete static_cast<GlyphCache*>(cache); });
}

GlyphCache& glyphCacheOf(PangoContext* context) {
    if (g_object_get_data(G_OBJECT(context), kCacheKey) == nullptr) attachGlyphCache(context);
    return *static_cast<GlyphCache*>(g_object_get_data(G_OBJECT(context), kCacheKey));
}

std::string faceOf(PangoFont* font, double condense) {
    const FontDescriptionHandle description(pango_font_describe_with_absolute_size(font));
    gchar* name = pango_font_description_to_string(description.get());
    std::string face = std::string(name) + "@" + std::to_string(std::lround(condense * 100));
    g_free(name);
    return face;
}

void paintGlyphDots(cairo_t* cr, const PlacedGlyph& glyph) {
    const GlyphImage& image = *glyph.image;
    if (image.dots.widthDots == 0) return;
    const SurfaceHandle mask = a1FromRaster(image.dots);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask.get());
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, -(glyph.xDots + image.leftDots), -(glyph.baselineDots + image.topDots));
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_mask(cr, pattern);
    cairo_pattern_destroy(pattern);
}

void paintGlyphOutline(cairo_t* cr, const OutlineGlyph& glyph, double condense) {
    cairo_save(cr);
    cairo_translate(cr, glyph.xDots, glyph.baselineDots);
    cairo_scale(cr, condense, 1.0);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_glyph_string(cr, glyph.font, oneGlyph(glyph.glyph).get());
    cairo_restore(cr);
}

}  // namespace render
