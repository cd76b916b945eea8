// SPDX-License-Identifier: MIT
#include "designer/label_proof.h"

#include <algorithm>
#include <utility>

#include <zbar.h>

#include "render/free_with.h"

namespace designer {
namespace {

using labelformat::FieldType;
using labelformat::Symbology;

// White around the box, so that bars at its edge still have white beyond them.
constexpr int kScanMarginDots = 8;
constexpr unsigned char kWhite = 255;
constexpr unsigned char kBlack = 0;
constexpr char kGroupSeparator = '\x1d';

zbar::zbar_symbol_type_t scannerTypeOf(Symbology symbology) {
    switch (symbology) {
        case Symbology::Ean13: return zbar::ZBAR_EAN13;
        case Symbology::Ean8: return zbar::ZBAR_EAN8;
        case Symbology::Code128:
        case Symbology::Gs1_128: return zbar::ZBAR_CODE128;
        case Symbology::Code39: return zbar::ZBAR_CODE39;
        case Symbology::Nw7: return zbar::ZBAR_CODABAR;
        case Symbology::Itf14: return zbar::ZBAR_I25;
        case Symbology::Qr: return zbar::ZBAR_QRCODE;
    }
    return zbar::ZBAR_NONE;
}

// What a scanner sends: the symbol's data, GS1 data without its parentheses. Group
// separators between GS1 elements are not compared.
std::string scannedForm(const render::EncodedSymbol& symbol) {
    std::string form;
    for (const char c : symbol.data) {
        const bool bracket = c == '(' || c == ')' || c == '[' || c == ']';
        if (!(symbol.symbology == Symbology::Gs1_128 && bracket)) form += c;
    }
    return form;
}

std::string withoutGroupSeparators(std::string text) {
    std::erase(text, kGroupSeparator);
    return text;
}

// The box of the picture, with a white margin, as 8-bit grey.
std::vector<unsigned char> greyOf(const render::Raster& picture, const render::DotRect& box, int& width, int& height) {
    width = box.widthDots + 2 * kScanMarginDots;
    height = box.heightDots + 2 * kScanMarginDots;
    std::vector<unsigned char> grey(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kWhite);
    for (int y = 0; y < box.heightDots; ++y) {
        const int pictureY = box.yDots + y;
        if (pictureY < 0 || pictureY >= picture.heightDots) continue;
        for (int x = 0; x < box.widthDots; ++x) {
            const int pictureX = box.xDots + x;
            if (pictureX < 0 || pictureX >= picture.widthDots || !picture.isBlack(pictureX, pictureY)) continue;
            grey[static_cast<std::size_t>(y + kScanMarginDots) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x + kScanMarginDots)] = kBlack;
        }
    }
    return grey;
}

// Scan lines a dot or two apart find any readable symbol; a linear symbol is read along its
// bars' direction only, as a scanner's line crosses it.
struct ScanLines {
    int horizontalEveryDots = 1;  // 0: none
    int verticalEveryDots = 1;
};

ScanLines scanLinesFor(const render::BarcodeElement& barcode) {
    constexpr int kLinearSpacingDots = 2;
    if (barcode.symbol->isMatrix()) return {1, 1};
    if (barcode.placement.rotationDeg % 180 == 0) return {kLinearSpacingDots, 0};
    return {0, kLinearSpacingDots};
}

// Everything zbar reads in the grey picture, looking for one symbology only.
std::vector<std::string> readSymbols(std::vector<unsigned char>& grey, int width, int height, zbar::zbar_symbol_type_t type,
                                     ScanLines lines) {
    using Scanner = std::unique_ptr<zbar::zbar_image_scanner_t, render::FreeWith<zbar::zbar_image_scanner_destroy>>;
    using Image = std::unique_ptr<zbar::zbar_image_t, render::FreeWith<zbar::zbar_image_destroy>>;
    const Scanner scanner(zbar::zbar_image_scanner_create());
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    zbar::zbar_image_scanner_set_config(scanner.get(), type, zbar::ZBAR_CFG_ENABLE, 1);
    // zbar's "Y density" spaces the horizontal scan lines, its "X density" the vertical ones.
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_Y_DENSITY, lines.horizontalEveryDots);
    zbar::zbar_image_scanner_set_config(scanner.get(), zbar::ZBAR_NONE, zbar::ZBAR_CFG_X_DENSITY, lines.verticalEveryDots);
    const Image image(zbar::zbar_image_create());
    zbar::zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image.get(), static_cast<unsigned>(width), static_cast<unsigned>(height));
    zbar::zbar_image_set_data(image.get(), grey.data(), grey.size(), nullptr);
    std::vector<std::string> read;
    if (zbar::zbar_scan_image(scanner.get(), image.get()) <= 0) return read;
    for (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image.get()); symbol != nullptr;
         symbol = zbar::zbar_symbol_next(symbol)) {
        read.emplace_back(zbar::zbar_symbol_get_data(symbol), zbar::zbar_symbol_get_data_length(symbol));
    }
    return read;
}

// "field 11 (EAN13): why" as "EAN13: why": the field is named beside the finding.
std::string refusalReason(const std::string& why) {
    const auto open = why.find(" (");
    const auto close = why.find("): ");
    if (!why.starts_with("field ") || open == std::string::npos || close == std::string::npos || close < open) return why;
    return why.substr(open + 2, close - open - 2) + ": " + why.substr(close + 3);
}

const std::string& valueOf(const labelformat::FieldValues& values, const labelformat::LabelField& field) {
    const auto found = values.find(field.number);
    return found == values.end() ? field.defaultText : found->second;
}

}  // namespace

struct LabelChecker::State {
    render::LabelRenderer renderer;
    std::vector<std::size_t> textFields;     // positions of the text fields, in layout order
    std::vector<std::size_t> barcodeFields;  // positions of the barcode fields
};

int LabelProof::barcodesReadBack() const {
    return static_cast<int>(std::count_if(scans.begin(), scans.end(), [](const BarcodeScan& scan) { return scan.readBack; }));
}

bool LabelProof::refusesOrUnreadable() const {
    return refused || std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.refusesOrUnreadable(); });
}

labelformat::Outcome<LabelChecker> LabelChecker::create(const labelformat::LabelFormat& format,
                                                        std::shared_ptr<render::Fonts> fonts) {
    auto renderer = render::LabelRenderer::create(format, std::move(fonts));
    if (!renderer.ok()) return *renderer.error();
    auto state = std::unique_ptr<State>(new State{std::move(renderer.value()), {}, {}});
    for (std::size_t index = 0; index < format.fields.size(); ++index) {
        (format.fields[index].type == FieldType::Text ? state->textFields : state->barcodeFields).push_back(index);
    }
    return LabelChecker(std::move(state));
}

LabelChecker::LabelChecker(std::unique_ptr<State> state) : state_(std::move(state)) {}
LabelChecker::LabelChecker(LabelChecker&&) noexcept = default;
LabelChecker& LabelChecker::operator=(LabelChecker&&) noexcept = default;
LabelChecker::~LabelChecker() = default;

const labelformat::LabelFormat& LabelChecker::format() const { return state_->renderer.format(); }

render::LabelRenderer& LabelChecker::renderer() { return state_->renderer; }

std::vector<Finding> LabelChecker::refusedBarcodes(const labelformat::FieldValues& values) {
    const auto& fields = format().fields;
    // Every barcode empty but one: an empty barcode is never refused, and the renderer keeps
    // the encodings of the others.
    labelformat::FieldValues alone;
    for (const std::size_t index : state_->barcodeFields) alone[fields[index].number] = "";
    std::vector<Finding> findings;
    for (const std::size_t index : state_->barcodeFields) {
        const labelformat::LabelField& field = fields[index];
        const std::string& value = valueOf(values, field);
        if (value.empty()) continue;
        alone[field.number] = value;
        std::string why;
        if (!state_->renderer.content(alone, &why).ok()) {
            findings.push_back({FindingKind::BarcodeRefused, index, field.number, {}, {}, 1.0, 0, refusalReason(why)});
        }
        alone[field.number] = "";
    }
    return findings;
}

std::vector<Finding> LabelChecker::textFindings(const render::LabelLayout& layout) const {
    std::vector<Finding> findings;
    for (std::size_t k = 0; k < layout.texts.size() && k < state_->textFields.size(); ++k) {
        const render::TextElement& element = layout.texts[k];
        const render::TextBlock& block = element.block;
        const Finding base{FindingKind::Cut, state_->textFields[k], element.fieldNumber, {}, {}, block.condense, 0, {}};
        if (block.clipped) {
            findings.push_back(base);
        } else if (block.condense < 1.0) {
            Finding condensed = base;
            condensed.kind = FindingKind::Condensed;
            findings.push_back(condensed);
        }
        if (block.unknownGlyphs > 0) {
            Finding missing = base;
            missing.kind = FindingKind::MissingGlyphs;
            missing.missingGlyphs = block.unknownGlyphs;
            findings.push_back(missing);
        }
    }
    return findings;
}

BarcodeScan LabelChecker::scanBarcode(const render::Raster& picture, const render::BarcodeElement& barcode) const {
    BarcodeScan scan;
    const auto& fields = format().fields;
    const auto position = std::find_if(state_->barcodeFields.begin(), state_->barcodeFields.end(),
                                       [&](std::size_t index) { return fields[index].number == barcode.fieldNumber; });
    scan.fieldIndex = position == state_->barcodeFields.end() ? 0 : *position;
    scan.fieldNumber = barcode.fieldNumber;
    if (!barcode.symbol) return scan;
    scan.expected = scannedForm(*barcode.symbol);
    int width = 0;
    int height = 0;
    auto grey = greyOf(picture, barcode.placement.box, width, height);
    const auto read = readSymbols(grey, width, height, scannerTypeOf(barcode.symbol->symbology), scanLinesFor(barcode));
    const auto match = std::find_if(read.begin(), read.end(), [&](const std::string& data) {
        return withoutGroupSeparators(data) == withoutGroupSeparators(scan.expected);
    });
    scan.readBack = match != read.end();
    scan.read = match != read.end() ? *match : read.empty() ? std::string() : read.front();
    return scan;
}

LabelProof LabelChecker::proof(const labelformat::FieldValues& values, const ProofOptions& options) {
    LabelProof proof;
    auto content = state_->renderer.content(values);
    if (!content.ok()) {
        proof.refused = true;
        proof.findings = refusedBarcodes(values);
        labelformat::FieldValues drawable = values;
        for (const Finding& finding : proof.findings) drawable[finding.fieldNumber] = "";
        content = state_->renderer.content(drawable);
    }
    if (!content.ok()) return proof;  // cannot happen: the refused barcodes are empty now
    proof.layout = state_->renderer.layOut(content.value(), options.dotsPerInch);
    const auto texts = textFindings(proof.layout);
    proof.findings.insert(proof.findings.end(), texts.begin(), texts.end());
    proof.picture = state_->renderer.paint(proof.layout);
    if (options.readBack) {
        for (std::size_t k = 0; k < proof.layout.barcodes.size() && k < state_->barcodeFields.size(); ++k) {
            if (!proof.layout.barcodes[k].symbol) continue;
            proof.scans.push_back(scanBarcode(proof.picture, proof.layout.barcodes[k]));
            BarcodeScan& scan = proof.scans.back();
            scan.fieldIndex = state_->barcodeFields[k];  // the right one even where numbers repeat
            if (!scan.readBack) {
                proof.findings.push_back({FindingKind::NotReadBack, scan.fieldIndex, scan.fieldNumber, {}, {}, 1.0, 0, scan.read});
            }
        }
    }
    std::stable_sort(proof.findings.begin(), proof.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.fieldIndex < b.fieldIndex; });
    return proof;
}

labelformat::FieldValues labelValues(const labelformat::LabelFormat& format, const labelformat::FieldValues& set) {
    labelformat::FieldValues values;
    for (const labelformat::LabelField& field : format.fields) values.emplace(field.number, field.defaultText);
    for (const auto& [number, text] : set) {
        if (format.findField(number) != nullptr) values[number] = text;
    }
    return values;
}

}  // namespace designer
