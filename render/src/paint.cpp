// SPDX-License-Identifier: MIT
#include "paint.h"

#include <algorithm>
#include <numbers>
#include <string>

#include <pango/pangocairo.h>

#include "glyphs.h"
#include "raster_surface.h"
#include "text_layout.h"

namespace render {
namespace {

constexpr double kGridNumberPt = 6.0;

void addRect(cairo_t* cr, const DotRect& rect) {
    cairo_rectangle(cr, rect.xDots, rect.yDots, rect.widthDots, rect.heightDots);
}

// Content coordinates from here on: the box's corner, turned clockwise.
void enterPlacement(cairo_t* cr, const Placement& placement) {
    const DotRect& box = placement.box;
    switch (placement.rotationDeg) {
        case 90: cairo_translate(cr, box.rightDots(), box.yDots); break;
        case 180: cairo_translate(cr, box.rightDots(), box.bottomDots()); break;
        case 270: cairo_translate(cr, box.xDots, box.bottomDots()); break;
        default: cairo_translate(cr, box.xDots, box.yDots); break;
    }
    cairo_rotate(cr, placement.rotationDeg * std::numbers::pi / 180.0);
}

// The block's glyphs where the layout placed them, cut to its area.
void paintTextBlock(cairo_t* cr, const TextBlock& block, GlyphDrawing glyphs) {
    if (!block.shaped) return;
    cairo_save(cr);
    addRect(cr, block.area);
    cairo_clip(cr);
    if (glyphs == GlyphDrawing::Outlines) {
        for (const OutlineGlyph& glyph : block.shaped->outlines()) paintGlyphOutline(cr, glyph, block.condense);
    } else {
        for (const TextLine& line : block.lines) {
            for (const PlacedGlyph& glyph : line.glyphs) paintGlyphDots(cr, glyph);
        }
    }
    cairo_restore(cr);
}

// An outline drawn inside the rectangle, so that it never reaches past it.
void addOutline(cairo_t* cr, const DotRect& rect, int lineWidthDots) {
    const int inset = std::min({lineWidthDots, rect.widthDots / 2, rect.heightDots / 2});
    addRect(cr, rect);
    addRect(cr, {rect.xDots + inset, rect.yDots + inset, rect.widthDots - 2 * inset, rect.heightDots - 2 * inset});
}

void paintImage(cairo_t* cr, const StaticDrawing& drawing) {
    const SurfaceHandle mask = a1FromRaster(*drawing.image);
    cairo_save(cr);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(mask.get());
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, -drawing.rect.xDots, -drawing.rect.yDots);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_mask(cr, pattern);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
}

void paintStatic(cairo_t* cr, const StaticDrawing& drawing) {
    if (drawing.type == labelformat::StaticType::Image) {
        paintImage(cr, drawing);
    } else if (drawing.slanted) {
        cairo_set_line_width(cr, drawing.lineWidthDots);
        cairo_move_to(cr, drawing.from.xDots, drawing.from.yDots);
        cairo_line_to(cr, drawing.to.xDots, drawing.to.yDots);
        cairo_stroke(cr);
    } else {
        const bool outline = drawing.type == labelformat::StaticType::Box && !drawing.fill;
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        outline ? addOutline(cr, drawing.rect, drawing.lineWidthDots) : addRect(cr, drawing.rect);
        cairo_fill(cr);
    }
}

}  // namespace

bool inLayer(Layer layer, bool atDefault) {
    return layer == Layer::All || (layer == Layer::Fixed) == atDefault;
}

void paintText(cairo_t* cr, const TextElement& element, GlyphDrawing glyphs) {
    cairo_save(cr);
    enterPlacement(cr, element.placement);
    paintTextBlock(cr, element.block, glyphs);
    cairo_restore(cr);
}

void paintBarcode(cairo_t* cr, const BarcodeElement& element, GlyphDrawing glyphs) {
    cairo_save(cr);
    enterPlacement(cr, element.placement);
    addRect(cr, {0, 0, element.placement.contentWidthDots(), element.placement.contentHeightDots()});
    cairo_clip(cr);
    for (const DotRect& rect : element.darkRects) addRect(cr, rect);
    cairo_fill(cr);
    for (const TextBlock& block : element.textBlocks) paintTextBlock(cr, block, glyphs);
    cairo_restore(cr);
}

void paintLayer(cairo_t* cr, const LabelLayout& layout, Layer layer, GlyphDrawing glyphs) {
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    if (layer != Layer::Variable) {
        for (const StaticDrawing& drawing : layout.statics) paintStatic(cr, drawing);
    }
    for (const TextElement& element : layout.texts) {
        if (inLayer(layer, element.atDefault)) paintText(cr, element, glyphs);
    }
    for (const BarcodeElement& element : layout.barcodes) {
        if (inLayer(layer, element.atDefault)) paintBarcode(cr, element, glyphs);
    }
}

void paintGrid(cairo_t* cr, const LabelLayout& layout) {
    cairo_save(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    const double numberDots = kGridNumberPt * layout.dotsPerInch / 72.0;
    cairo_set_font_size(cr, numberDots);
    const auto outline = [&](std::int16_t number, const DotRect& box) {
        addOutline(cr, box, 1);
        cairo_fill(cr);
        cairo_move_to(cr, box.xDots + 2, box.yDots + 1 + numberDots * 0.8);
        cairo_show_text(cr, std::to_string(number).c_str());
    };
    for (const TextElement& element : layout.texts) outline(element.fieldNumber, element.placement.box);
    for (const BarcodeElement& element : layout.barcodes) outline(element.fieldNumber, element.placement.box);
    cairo_restore(cr);
}

}  // namespace render
