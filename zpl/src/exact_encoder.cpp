// SPDX-License-Identifier: MIT
#include "exact_encoder.h"

#include <algorithm>
#include <climits>
#include <map>
#include <vector>

#include "label_parts.h"
#include "zpl/barcodes.h"
#include "zpl/commands.h"
#include "zpl/glyph_fonts.h"

namespace zpl {
namespace {

using render::DotRect;

// Fonts take at most this much of the printer's memory (a bit a dot); beyond it, lines with
// glyphs the printer lacks go as pictures.
constexpr std::size_t kMostFontBytes = 256 * 1024;
// Stored formats a job keeps at most (one per fixed part, set of barcode places and line
// places); beyond them a new one takes the name of the one used longest ago.
constexpr std::size_t kMostStoredFormats = 16;
// Places of text lines in a stored format: at most this many a format, numbered from here
// (^FN takes 0 to 9999; barcodes take the numbers below).
constexpr std::size_t kMostLinePlaces = 200;
constexpr int kFirstLinePlace = 1000;
constexpr int kLastLinePlace = 9999;

// One label as it is being encoded.
struct Draft {
    std::string downloads;  // before the format
    std::string fixed;      // the settings and the fixed layer: which format this is
    std::string stored;     // what every such label shows: the stored format's commands
    std::string fields;     // this label's own fields
    std::vector<GlyphFonts::Line> lines;  // typeset; written once the label's fonts are downloaded
    int numbers = 0;        // ^FN numbers given out
};

// A line's glyphs as one picture cut to its ink, and where it goes on the label (upright).
std::optional<Inked> linePicture(const std::vector<render::PlacedGlyph>& glyphs, int xDots, int yDots) {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (const render::PlacedGlyph& glyph : glyphs) {
        const render::GlyphImage& image = *glyph.image;
        if (image.dots.widthDots == 0) continue;
        left = std::min(left, glyph.xDots + image.leftDots);
        top = std::min(top, glyph.baselineDots + image.topDots);
        right = std::max(right, glyph.xDots + image.leftDots + image.dots.widthDots);
        bottom = std::max(bottom, glyph.baselineDots + image.topDots + image.dots.heightDots);
    }
    if (right <= left) return std::nullopt;
    Inked picture{render::Raster::blank(right - left, bottom - top, 0), left + xDots, top + yDots};
    for (const render::PlacedGlyph& glyph : glyphs) {
        const render::GlyphImage& image = *glyph.image;
        for (int y = 0; y < image.dots.heightDots; ++y) {
            for (int x = 0; x < image.dots.widthDots; ++x) {
                if (image.dots.isBlack(x, y)) {
                    picture.raster.setBlack(glyph.xDots + image.leftDots + x - left, glyph.baselineDots + image.topDots + y - top);
                }
            }
        }
    }
    return picture;
}

class ExactEncoder final : public LabelEncoder {
public:
    explicit ExactEncoder(const EncoderSettings& settings)
        : settings_(settings),
          prefix_(jobNamePrefix()),
          store_(settings.compression, prefix_),
          fonts_(settings.compression, prefix_) {}

    std::string encodeIssue(const IssueToEncode& issue) override {
        const render::LabelLayout layout = issue.renderer.layOut(issue.content, settings_.dotsPerInch);
        Draft draft;
        draft.fixed = formatSettings(layout.widthDots, layout.heightDots);
        if (const auto fixed = inked(issue.renderer.paint(layout, {render::Layer::Fixed}))) {
            draft.fixed += store_.place(fixed->raster, {fixed->xDots, fixed->yDots, false}, draft.downloads);
        }
        draft.stored = draft.fixed;
        for (const render::BarcodeElement& element : layout.barcodes) {
            if (element.atDefault || !element.symbol) continue;  // in the fixed part, or empty
            if (!nativeBarcode(element, draft)) fieldPicture(issue.renderer, layout, element.fieldNumber, draft);
        }
        for (const render::TextElement& element : layout.texts) {
            if (element.atDefault || !element.block.shaped) continue;
            if (!textLines(element.placement, element.block, draft)) fieldPicture(issue.renderer, layout, element.fieldNumber, draft);
        }
        draft.downloads += fonts_.takeDownloads();
        writeLines(draft);
        const std::string fixedPart = recall(draft.stored, draft.downloads);
        return draft.downloads + "^XA" + fixedPart + draft.fields +
               formatEnd(issue.copies, issue.cut, settings_.printerHasCutter);
    }

    // Every name the job stored begins with its prefix.
    std::string endOfJob() override {
        std::string deletions;
        if (store_.size() > 0) deletions += "^IDR:" + prefix_ + "*.GRF^FS";
        if (fonts_.fontCount() > 0) deletions += "^IDR:" + prefix_ + "*.FNT^FS";
        if (!formats_.empty()) deletions += "^IDR:" + prefix_ + "*.ZPL^FS";
        return deletions.empty() ? std::string() : "^XA" + deletions + "^XZ";
    }

private:
    // The barcode as the printer's own command, its data as the label's ^FN field of a place
    // in the stored format; the text under it as lines like any text's, and EAN's longer
    // guard bars with the fixed part. False when any of it must be a picture.
    bool nativeBarcode(const render::BarcodeElement& element, Draft& draft) {
        const bool textTurned = element.placement.rotationDeg != 0 && !element.textBlocks.empty();
        const bool textCut = std::any_of(element.textBlocks.begin(), element.textBlocks.end(),
                                         [](const render::TextBlock& block) { return block.inkOutside; });
        if (textTurned || textCut) return false;
        const DotRect bars = element.placement.toLabel(element.symbolRect);
        const BarcodePlacement placement{{bars.xDots, bars.yDots, false}, element.placement.rotationDeg,
                                         element.moduleDots, element.symbolRect.heightDots};
        const auto field = barcodeField(*element.symbol, placement);
        if (!field) return false;
        // The field data is the last ^FD (its data escapes every "^"), with ^FH before it
        // when escaped.
        const std::size_t dataAt = field->rfind("^FD");
        const bool escaped = dataAt >= 3 && field->compare(dataAt - 3, 3, "^FH") == 0;
        const std::size_t commandEnd = escaped ? dataAt - 3 : dataAt;
        const std::string number = std::to_string(++draft.numbers);
        draft.stored += field->substr(0, commandEnd) + "^FN" + number + "^FS";
        draft.fields += "^FN" + number + field->substr(commandEnd);
        for (const render::TextBlock& block : element.textBlocks) textLines(element.placement, block, draft);
        if (const auto guards = guardBarExtensions(element)) {
            draft.stored += store_.place(guards->raster, {guards->xDots, guards->yDots, false}, draft.downloads);
        }
        return true;
    }

    // Upright text whose glyphs lie inside its area, line by line; false otherwise.
    bool textLines(const render::Placement& placement, const render::TextBlock& block, Draft& draft) {
        if (placement.rotationDeg != 0 || block.inkOutside) return false;
        for (const render::TextLine& line : block.lines) textLine(line.glyphs, placement.box.xDots, placement.box.yDots, draft);
        return true;
    }

    // Typeset in the job's fonts; as a picture when it cannot be, or when it needs new glyphs
    // and the fonts have taken their share of the printer's memory.
    void textLine(const std::vector<render::PlacedGlyph>& glyphs, int xDots, int yDots, Draft& draft) {
        const auto picture = linePicture(glyphs, xDots, yDots);
        if (!picture) return;  // blanks only
        const bool roomForFonts = fonts_.storedBytes() < kMostFontBytes || fonts_.missing(glyphs) == 0;
        if (settings_.glyphFonts && roomForFonts) {
            if (auto line = fonts_.typeset(glyphs, xDots, yDots)) {
                draft.lines.push_back(std::move(*line));
                return;
            }
        }
        draft.fields += store_.placeFieldText(picture->raster, {picture->xDots, picture->yDots, false}, draft.downloads);
    }

    void fieldPicture(render::LabelRenderer& renderer, const render::LabelLayout& layout, std::int16_t fieldNumber,
                      Draft& draft) {
        const auto graphic = inked(renderer.paintField(layout, fieldNumber));
        if (!graphic) return;
        const render::TextElement* text = layout.findText(fieldNumber);
        const DotRect box = text != nullptr ? text->placement.box : layout.findBarcode(fieldNumber)->placement.box;
        draft.fields += store_.placeFieldText(graphic->raster, {box.xDots + graphic->xDots, box.yDots + graphic->yDots, false},
                                              draft.downloads);
    }

    // A line that is one field in a lasting font has a place in the stored format, where the
    // label only gives its data (^FN); the others are written out. The stored format keeps the
    // places of its format's lines once made, used or not on a label (an empty one prints
    // nothing), so that it stays the same from label to label.
    void writeLines(Draft& draft) {
        std::map<std::string, int>& places = linePlaces_[draft.fixed];
        for (const GlyphFonts::Line& line : draft.lines) {
            const auto lasting = fonts_.lastingField(line);
            const bool room = places.size() < kMostLinePlaces && kFirstLinePlace + nextLinePlace_ <= kLastLinePlace;
            if (lasting && (places.contains(lasting->placeAndFont) || room)) {
                const auto [place, added] = places.try_emplace(lasting->placeAndFont, kFirstLinePlace + nextLinePlace_);
                if (added) ++nextLinePlace_;
                draft.fields += "^FN" + std::to_string(place->second) + "^FD" + lasting->data + "^FS";
            } else {
                draft.fields += fonts_.fields(line);
            }
        }
        for (const auto& [placeAndFont, number] : places) draft.stored += placeAndFont + "^FN" + std::to_string(number) + "^FS";
    }

    // The fixed part stored as a format the first time (^DF) and recalled (^XF) from then on.
    std::string recall(const std::string& stored, std::string& downloads) {
        ++labels_;
        auto found = formats_.find(stored);
        if (found == formats_.end()) {
            std::string name = prefix_ + base36(formats_.size() + 1) + ".ZPL";
            if (formats_.size() >= kMostStoredFormats) {
                const auto oldest = std::min_element(formats_.begin(), formats_.end(), [](const auto& a, const auto& b) {
                    return a.second.lastUsed < b.second.lastUsed;
                });
                name = oldest->second.name;  // ^DF of the same name takes its place
                formats_.erase(oldest);
            }
            downloads += "^XA^DFR:" + name + "^FS" + stored + "^XZ";
            found = formats_.emplace(stored, StoredFormat{name, 0}).first;
        }
        found->second.lastUsed = labels_;
        return "^XFR:" + found->second.name + "^FS";
    }

    EncoderSettings settings_;
    std::string prefix_;
    GraphicStore store_;
    GlyphFonts fonts_;
    struct StoredFormat {
        std::string name;
        long lastUsed = 0;  // the label that recalled it last
    };
    std::map<std::string, StoredFormat> formats_;  // by their commands
    long labels_ = 0;
    std::map<std::string, std::map<std::string, int>> linePlaces_;  // by fixed part: ^FN numbers by place and font
    int nextLinePlace_ = 0;
};

}  // namespace

std::unique_ptr<LabelEncoder> makeExactEncoder(const EncoderSettings& settings) {
    return std::make_unique<ExactEncoder>(settings);
}

}  // namespace zpl
