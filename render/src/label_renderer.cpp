// SPDX-License-Identifier: MIT
#include "render/label_renderer.h"

#include <algorithm>
#include <array>
#include <optional>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

#include "barcode.h"
#include "barcode_layout.h"
#include "font_session.h"
#include "paint.h"
#include "raster_surface.h"
#include "text_layout.h"

namespace render {
namespace {

using labelformat::ErrorNumber;
using labelformat::FieldType;
using labelformat::LabelField;
using labelformat::StaticElement;
using labelformat::StaticType;

constexpr std::uintmax_t kMaxImageFileBytes = 16 * 1024 * 1024;
// A picture is decoded to 4 bytes a pixel: 16 MP (4,096 x 4,096, a 173 mm square at 600
// dpi, the finest label printers) take 64 MB. A small file may promise far more.
constexpr std::uint32_t kLongestImageSidePixels = 16384;
constexpr std::uint64_t kMostImagePixels = 16 * 1024 * 1024;
constexpr int kThreshold = 128;  // image pixels darker than half grey, and opaque, print

bool isDark(std::uint32_t argb) {
    const std::uint32_t alpha = argb >> 24;
    if (alpha < kThreshold) return false;
    // Premultiplied: the colour channels are already scaled by alpha.
    const auto channel = [&](int shift) { return ((argb >> shift) & 0xFFu) * 255u / alpha; };
    const std::uint32_t grey = (channel(16) * 299u + channel(8) * 587u + channel(0) * 114u) / 1000u;
    return grey < kThreshold;
}

// Whether the width and height in a PNG file's header are within the limits, read before
// anything is decoded.
bool pngSizeUsable(const std::filesystem::path& file) {
    constexpr std::string_view kSignatureAndHeader = "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR";
    std::array<char, 24> start{};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(start.data(), start.size()) || std::string_view(start.data(), kSignatureAndHeader.size()) != kSignatureAndHeader) {
        return false;
    }
    const auto bigEndian = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = at; i < at + 4; ++i) value = value << 8 | static_cast<unsigned char>(start[i]);
        return value;
    };
    const std::uint32_t width = bigEndian(16);
    const std::uint32_t height = bigEndian(20);
    return width > 0 && height > 0 && width <= kLongestImageSidePixels && height <= kLongestImageSidePixels &&
           std::uint64_t{width} * height <= kMostImagePixels;
}

// 32 bits a pixel with premultiplied alpha, as cairo's PNG reader gives pictures with an
// alpha channel; a picture without one (RGB24) is read as opaque, anything else painted
// over first.
SurfaceHandle withAlpha(SurfaceHandle loaded) {
    const cairo_format_t format = cairo_image_surface_get_format(loaded.get());
    if (format == CAIRO_FORMAT_ARGB32 || format == CAIRO_FORMAT_RGB24) return loaded;
    SurfaceHandle argb = checked(SurfaceHandle(cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(loaded.get()), cairo_image_surface_get_height(loaded.get()))));
    const CairoHandle cr(cairo_create(argb.get()));
    cairo_set_source_surface(cr.get(), loaded.get(), 0, 0);
    cairo_paint(cr.get());
    throwIfFailed(cairo_status(cr.get()));
    cairo_surface_flush(argb.get());
    return argb;
}

std::optional<Raster> thresholdedPng(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) || std::filesystem::file_size(file, error) > kMaxImageFileBytes ||
        error || !pngSizeUsable(file)) {
        return std::nullopt;  // never a FIFO or a device, which could block the load
    }
    // Cairo reports every fault of a PNG file as no memory: any is an unreadable image.
    SurfaceHandle loaded(cairo_image_surface_create_from_png(file.c_str()));
    if (cairo_surface_status(loaded.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    const SurfaceHandle argb = withAlpha(std::move(loaded));
    const std::uint32_t opaque = cairo_image_surface_get_format(argb.get()) == CAIRO_FORMAT_RGB24 ? 0xFF000000u : 0u;
    Raster raster = whiteRaster(cairo_image_surface_get_width(argb.get()), cairo_image_surface_get_height(argb.get()), 0);
    const unsigned char* data = cairo_image_surface_get_data(argb.get());
    const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(argb.get()));
    for (int y = 0; y < raster.heightDots; ++y) {
        for (int x = 0; x < raster.widthDots; ++x) {
            std::uint32_t pixel = 0;
            std::memcpy(&pixel, data + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * 4, 4);
            if (isDark(pixel | opaque)) raster.setBlack(x, y);
        }
    }
    return raster;
}

DotRect clippedTo(const DotRect& rect, int widthDots, int heightDots) {
    const int left = std::clamp(rect.xDots, 0, widthDots);
    const int top = std::clamp(rect.yDots, 0, heightDots);
    return {left, top, std::clamp(rect.rightDots(), 0, widthDots) - left, std::clamp(rect.bottomDots(), 0, heightDots) - top};
}

// A line along an axis covers whole dots: lineWidth thick, centred on its coordinate.
StaticDrawing lineDrawing(const StaticElement& element, int dotsPerInch, int labelWidth, int labelHeight) {
    StaticDrawing drawing;
    drawing.type = StaticType::Line;
    drawing.lineWidthDots = std::max(1, mmToDots(element.lineWidthMm, dotsPerInch));
    const double scale = dotsPerInch / 25.4;
    const double half = drawing.lineWidthDots / 2.0;
    const auto dots = [](double value) { return static_cast<int>(std::lround(value)); };
    if (element.yMm == element.y2Mm) {
        const int left = dots(std::min(element.xMm, element.x2Mm) * scale);
        const int top = dots(element.yMm * scale - half);
        drawing.rect = {left, top, std::max(dots(std::max(element.xMm, element.x2Mm) * scale) - left, 1), drawing.lineWidthDots};
    } else if (element.xMm == element.x2Mm) {
        const int top = dots(std::min(element.yMm, element.y2Mm) * scale);
        const int left = dots(element.xMm * scale - half);
        drawing.rect = {left, top, drawing.lineWidthDots, std::max(dots(std::max(element.yMm, element.y2Mm) * scale) - top, 1)};
    } else {
        drawing.slanted = true;
        drawing.from = {dots(element.xMm * scale), dots(element.yMm * scale)};
        drawing.to = {dots(element.x2Mm * scale), dots(element.y2Mm * scale)};
    }
    drawing.rect = clippedTo(drawing.rect, labelWidth, labelHeight);
    return drawing;
}

const std::string& valueOf(const labelformat::FieldValues& values, const LabelField& field) {
    const auto found = values.find(field.number);
    return found == values.end() ? field.defaultText : found->second;
}

Placement placementOf(const LabelField& field, int dotsPerInch) {
    return {rectInDots(field.xMm, field.yMm, field.widthMm, field.heightMm, dotsPerInch), field.rotationDeg};
}

// Paints with `draw`, in the surface's dots, and adds what it painted within `areas`.
template <typename Draw>
void paintCoverage(cairo_surface_t* surface, const std::vector<DotRect>& areas, Raster& raster, Draw draw) {
    for (const DotRect& area : areas) clearCoverage(surface, area);
    {
        const CairoHandle cr(cairo_create(surface));
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 1);
        cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);  // rectangles on whole dots
        draw(cr.get());
        throwIfFailed(cairo_status(cr.get()));
    }
    for (const DotRect& area : areas) addCoverage(surface, area, raster);
}

// Every field draws inside its box, so the boxes of the fields that draw are all that
// changes from one label to the next.
std::vector<DotRect> variableBoxes(const LabelLayout& layout) {
    std::vector<DotRect> boxes;
    for (const TextElement& element : layout.texts) {
        if (!element.atDefault && element.block.shaped) boxes.push_back(element.placement.box);
    }
    for (const BarcodeElement& element : layout.barcodes) {
        if (!element.atDefault && element.symbol) boxes.push_back(element.placement.box);
    }
    return boxes;
}

std::string symbologyName(labelformat::Symbology symbology) {
    constexpr std::array kNames{"EAN13", "EAN8", "CODE128", "GS1-128", "CODE39", "NW7", "ITF14", "QR"};
    return kNames[static_cast<std::size_t>(symbology)];
}

}  // namespace

struct LabelRenderer::State {
    struct CachedEncoding {
        bool valid = false;
        std::string text;
        Encoding encoding;
        bool fits = false;
    };

    struct CachedText {
        int dotsPerInch = 0;
        std::string text;
        std::optional<TextElement> element;
    };

    struct CachedBarcode {
        int dotsPerInch = 0;
        std::shared_ptr<const EncodedSymbol> symbol;
        std::optional<BarcodeElement> element;
    };

    // The fixed layer painted once: static elements and the fields at their default text.
    struct FixedLayer {
        int dotsPerInch = 0;
        std::vector<std::int16_t> fields;
        Raster raster;
    };

    struct CachedStatics {
        int dotsPerInch = 0;
        std::vector<StaticDrawing> drawings;
    };

    labelformat::LabelFormat format;
    std::shared_ptr<Fonts> fonts;
    std::vector<std::shared_ptr<const Raster>> images;  // by static element; empty for lines and boxes
    std::vector<CachedEncoding> encodings;              // by field
    std::vector<CachedText> texts;
    std::vector<CachedBarcode> barcodes;
    CachedStatics statics;
    FixedLayer fixed;
    SurfaceHandle coverage;  // labels are painted here and thresholded into rasters

    cairo_surface_t* coverageFor(const LabelLayout& layout);
    PangoContext* context() { return fonts->session().context(); }
    const std::vector<StaticDrawing>& staticsAt(int dotsPerInch, int labelWidth, int labelHeight);
    TextElement textElement(std::size_t index, const FieldContent& content, int dotsPerInch);
    BarcodeElement barcodeElement(std::size_t index, const FieldContent& content, int dotsPerInch);
    const Raster& fixedLayer(const LabelLayout& layout);
};

const std::vector<StaticDrawing>& LabelRenderer::State::staticsAt(int dotsPerInch, int labelWidth, int labelHeight) {
    if (statics.dotsPerInch == dotsPerInch) return statics.drawings;
    statics = {dotsPerInch, {}};
    for (std::size_t i = 0; i < format.statics.size(); ++i) {
        const StaticElement& element = format.statics[i];
        if (element.type == StaticType::Line) {
            statics.drawings.push_back(lineDrawing(element, dotsPerInch, labelWidth, labelHeight));
            continue;
        }
        StaticDrawing drawing;
        drawing.type = element.type;
        drawing.rect = rectInDots(element.xMm, element.yMm, element.widthMm, element.heightMm, dotsPerInch);
        drawing.lineWidthDots = std::max(1, mmToDots(element.lineWidthMm, dotsPerInch));
        drawing.fill = element.fill;
        if (element.type == StaticType::Image && drawing.rect.widthDots > 0 && drawing.rect.heightDots > 0) {
            drawing.image = std::make_shared<const Raster>(scaledRaster(*images[i], drawing.rect.widthDots, drawing.rect.heightDots));
        } else if (element.type == StaticType::Image) {
            continue;  // smaller than a dot at this resolution
        }
        statics.drawings.push_back(std::move(drawing));
    }
    return statics.drawings;
}

TextElement LabelRenderer::State::textElement(std::size_t index, const FieldContent& content, int dotsPerInch) {
    CachedText& cached = texts[index];
    if (!cached.element || cached.dotsPerInch != dotsPerInch || cached.text != content.text) {
        const LabelField& field = format.fields[index];
        TextElement element;
        element.fieldNumber = field.number;
        element.placement = placementOf(field, dotsPerInch);
        element.text = content.text;
        const TextStyle style{field.font.family, field.font.bold, field.font.sizePt * dotsPerInch / 72.0, field.align,
                              field.wrap};
        const DotRect area{0, 0, element.placement.contentWidthDots(), element.placement.contentHeightDots()};
        element.block = fitText(context(), content.text, style, area);
        cached = {dotsPerInch, content.text, std::move(element)};
    }
    TextElement element = *cached.element;
    element.atDefault = content.atDefault;
    return element;
}

BarcodeElement LabelRenderer::State::barcodeElement(std::size_t index, const FieldContent& content, int dotsPerInch) {
    const LabelField& field = format.fields[index];
    if (!content.symbol) {
        BarcodeElement empty;
        empty.fieldNumber = field.number;
        empty.placement = placementOf(field, dotsPerInch);
        empty.atDefault = content.atDefault;
        return empty;
    }
    CachedBarcode& cached = barcodes[index];
    if (!cached.element || cached.dotsPerInch != dotsPerInch || cached.symbol != content.symbol) {
        cached = {dotsPerInch, content.symbol,
                  layOutBarcode(content.symbol, field, placementOf(field, dotsPerInch), context(), dotsPerInch)};
    }
    BarcodeElement element = *cached.element;
    element.atDefault = content.atDefault;
    return element;
}

cairo_surface_t* LabelRenderer::State::coverageFor(const LabelLayout& layout) {
    if (!coverage || cairo_image_surface_get_width(coverage.get()) < layout.widthDots ||
        cairo_image_surface_get_height(coverage.get()) != layout.heightDots) {
        coverage = newCoverageSurface(layout.widthDots, layout.heightDots);
    }
    return coverage.get();
}

// Labels of a job mostly differ in their data, not their captions: the fixed layer is
// painted once per resolution and set of captions, and lies under every label.
const Raster& LabelRenderer::State::fixedLayer(const LabelLayout& layout) {
    // Empty fields draw nothing, so only the captions that draw make the layer.
    std::vector<std::int16_t> atDefault;
    for (const TextElement& element : layout.texts) {
        if (element.atDefault && element.block.shaped) atDefault.push_back(element.fieldNumber);
    }
    for (const BarcodeElement& element : layout.barcodes) {
        if (element.atDefault && element.symbol) atDefault.push_back(element.fieldNumber);
    }
    if (fixed.dotsPerInch != layout.dotsPerInch || fixed.fields != atDefault ||
        fixed.raster.widthDots != layout.widthDots || fixed.raster.heightDots != layout.heightDots) {
        Raster raster = whiteRaster(layout.widthDots, layout.heightDots, layout.dotsPerInch);
        paintCoverage(coverageFor(layout), {{0, 0, layout.widthDots, layout.heightDots}}, raster,
                      [&](cairo_t* cr) { paintLayer(cr, layout, Layer::Fixed); });
        fixed = {layout.dotsPerInch, std::move(atDefault), std::move(raster)};
    }
    return fixed.raster;
}

labelformat::Outcome<LabelRenderer> LabelRenderer::create(const labelformat::LabelFormat& format, std::shared_ptr<Fonts> fonts) {
    auto state = std::make_unique<State>();
    state->format = format;
    state->fonts = std::move(fonts);
    for (const StaticElement& element : format.statics) {
        if (element.type != StaticType::Image) {
            state->images.emplace_back();
            continue;
        }
        auto image = thresholdedPng(element.file.is_absolute() ? element.file : format.directory / element.file);
        if (!image) return ErrorNumber::FormatUnreadable;
        state->images.push_back(std::make_shared<const Raster>(std::move(*image)));
    }
    state->encodings.resize(format.fields.size());
    state->texts.resize(format.fields.size());
    state->barcodes.resize(format.fields.size());
    return LabelRenderer(std::move(state));
}

LabelRenderer::LabelRenderer(std::unique_ptr<State> state) : state_(std::move(state)) {}
LabelRenderer::LabelRenderer(LabelRenderer&&) noexcept = default;
LabelRenderer& LabelRenderer::operator=(LabelRenderer&&) noexcept = default;
LabelRenderer::~LabelRenderer() = default;

const labelformat::LabelFormat& LabelRenderer::format() const { return state_->format; }

labelformat::Outcome<LabelContent> LabelRenderer::content(const labelformat::FieldValues& values, std::string* why) {
    LabelContent content;
    content.fields.reserve(state_->format.fields.size());
    for (std::size_t i = 0; i < state_->format.fields.size(); ++i) {
        const LabelField& field = state_->format.fields[i];
        const std::string& value = valueOf(values, field);
        FieldContent fieldContent{validUtf8(value), value == field.defaultText, nullptr};
        if (field.type == FieldType::Barcode && !fieldContent.text.empty()) {
            State::CachedEncoding& cached = state_->encodings[i];
            if (!cached.valid || cached.text != fieldContent.text) {
                cached = {true, fieldContent.text, encodeSymbol(*field.symbology, fieldContent.text), false};
                const Placement checked = placementOf(field, kCheckDotsPerInch);
                cached.fits = cached.encoding.symbol && symbolFits(*cached.encoding.symbol, checked.contentWidthDots(),
                                                                   checked.contentHeightDots());
            }
            if (!cached.fits) {
                if (why != nullptr) {
                    *why = "field " + std::to_string(field.number) + " (" + symbologyName(*field.symbology) + "): " +
                           (cached.encoding.symbol ? "the symbol does not fit the box at 203 dpi"
                                                   : cached.encoding.refusal);
                }
                return ErrorNumber::FormatLayoutError;
            }
            fieldContent.symbol = cached.encoding.symbol;
        }
        content.fields.push_back(std::move(fieldContent));
    }
    return content;
}

LabelLayout LabelRenderer::layOut(const LabelContent& content, int dotsPerInch) {
    LabelLayout layout;
    layout.dotsPerInch = dotsPerInch;
    layout.widthMm = state_->format.widthMm;
    layout.heightMm = state_->format.heightMm;
    layout.widthDots = mmToDots(layout.widthMm, dotsPerInch);
    layout.heightDots = mmToDots(layout.heightMm, dotsPerInch);
    layout.statics = state_->staticsAt(dotsPerInch, layout.widthDots, layout.heightDots);
    for (std::size_t i = 0; i < state_->format.fields.size() && i < content.fields.size(); ++i) {
        if (state_->format.fields[i].type == FieldType::Text) {
            layout.texts.push_back(state_->textElement(i, content.fields[i], dotsPerInch));
        } else {
            layout.barcodes.push_back(state_->barcodeElement(i, content.fields[i], dotsPerInch));
        }
    }
    return layout;
}

Raster LabelRenderer::paint(const LabelLayout& layout, const PaintOptions& options) {
    const DotRect wholeLabel{0, 0, layout.widthDots, layout.heightDots};
    if (options.layer != Layer::All) {
        Raster raster = whiteRaster(layout.widthDots, layout.heightDots, layout.dotsPerInch);
        paintCoverage(state_->coverageFor(layout), {wholeLabel}, raster, [&](cairo_t* cr) {
            paintLayer(cr, layout, options.layer);
            if (options.grid) paintGrid(cr, layout);
        });
        return raster;
    }
    Raster raster = state_->fixedLayer(layout);
    std::vector<DotRect> painted = options.grid ? std::vector<DotRect>{wholeLabel} : variableBoxes(layout);
    paintCoverage(state_->coverageFor(layout), painted, raster, [&](cairo_t* cr) {
        paintLayer(cr, layout, Layer::Variable);
        if (options.grid) paintGrid(cr, layout);
    });
    return raster;
}

Raster LabelRenderer::paintField(const LabelLayout& layout, std::int16_t fieldNumber) {
    const TextElement* text = layout.findText(fieldNumber);
    const BarcodeElement* barcode = layout.findBarcode(fieldNumber);
    const DotRect box = text != nullptr ? text->placement.box : barcode != nullptr ? barcode->placement.box : DotRect{};
    Raster raster = whiteRaster(box.widthDots, box.heightDots, layout.dotsPerInch);
    const SurfaceHandle surface = newCoverageSurface(box.widthDots, box.heightDots);
    paintCoverage(surface.get(), {{0, 0, box.widthDots, box.heightDots}}, raster, [&](cairo_t* cr) {
        cairo_translate(cr, -box.xDots, -box.yDots);
        if (text != nullptr) paintText(cr, *text);
        if (barcode != nullptr) paintBarcode(cr, *barcode);
    });
    return raster;
}

}  // namespace render
