// SPDX-License-Identifier: MIT
// A label format as read from its JSON file: the label's size and the numbered fields the
// calling program fills. The model is kept whole so that a renderer can draw from it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "labelformat/outcome.h"

namespace labelformat {

// What a format may ask for, so that no label costs more than a label printer could print.
// Labels: the widest print heads are 8.5 in (216 mm) and take media up to about 10 in; a
// side of 650 mm is 30,709 dots at 1200 dpi, the finest resolution a destination may ask
// for, within the 32,767 dots a picture may have.
inline constexpr double kWidestLabelMm = 254.0;   // the shorter side
inline constexpr double kLongestLabelMm = 650.0;  // the longer side
// Type: 2 pt is the smallest a 600 dpi printer still forms (17 dots to the em); an em of
// 720 pt (254 mm) is larger than any label.
inline constexpr double kSmallestFontPt = 2.0;
inline constexpr double kLargestFontPt = 720.0;

enum class FieldType { Text, Barcode };
enum class Symbology { Ean13, Ean8, Code128, Gs1_128, Code39, Nw7, Itf14, Qr };
enum class Align { Left, Center, Right };

struct FontStyle {
    std::string family = "Noto Sans CJK JP";
    double sizePt = 10.0;
    bool bold = false;
};

struct LabelField {
    // An integer outside 1..32767, of any magnitude, is kept as 0 so that the layout check
    // rejects it.
    std::int16_t number = 0;
    FieldType type = FieldType::Text;
    std::optional<Symbology> symbology;  // barcode fields only
    // The field's box on the label; rotation turns the content inside it.
    double xMm = 0.0;
    double yMm = 0.0;
    double widthMm = 0.0;
    double heightMm = 0.0;
    int rotationDeg = 0;  // 0, 90, 180 or 270
    FontStyle font;
    Align align = Align::Left;
    std::string defaultText;
    bool humanReadable = true;  // barcode fields: print the digits under the bars
    bool wrap = false;          // text fields: break onto further lines instead of one line
};

// Drawn beneath the fields on every label, without a field number.
enum class StaticType { Line, Box, Image };

struct StaticElement {
    StaticType type = StaticType::Line;
    // Boxes and images: the rectangle. Lines: from (xMm, yMm) to (x2Mm, y2Mm).
    double xMm = 0.0;
    double yMm = 0.0;
    double widthMm = 0.0;
    double heightMm = 0.0;
    double x2Mm = 0.0;
    double y2Mm = 0.0;
    double lineWidthMm = 0.25;  // lines and box outlines
    bool fill = false;          // boxes: solid black instead of an outline
    std::filesystem::path file; // images: a PNG, relative paths found beside the format file
};

struct LabelFormat {
    std::int16_t usePrinter = 0;  // the printer model the format is made for
    double widthMm = 0.0;
    double heightMm = 0.0;
    std::vector<LabelField> fields;
    std::vector<StaticElement> statics;
    std::filesystem::path directory;  // the format file's folder, where its images are found

    // nullptr when absent. Logarithmic in the number of fields once indexFields() has run
    // (parseLabelFormat runs it); a format put together by hand is searched field by field.
    const LabelField* findField(std::int16_t number) const;
    // Whoever changes `fields` after parsing calls this again.
    void indexFields();

private:
    // (number, position in `fields`), by number; the first of equal numbers comes first.
    std::vector<std::pair<std::int16_t, std::size_t>> fieldIndex_;
};

// The text each field prints, by field number.
using FieldValues = std::map<std::int16_t, std::string>;

// Reads the structure only: FormatUnreadable for bad JSON, a missing or wrongly typed key,
// an unknown type, symbology, rotation or align, a font size outside its limits.
Outcome<LabelFormat> parseLabelFormat(std::string_view jsonText);
Outcome<LabelFormat> readLabelFormatFile(const std::filesystem::path& file);

// The rules a readable format must keep to load; each broken one is a layout problem.
enum class LayoutRule {
    LabelWithoutArea,
    LabelTooLarge,          // beyond 254 x 650 mm either way round
    FieldNumberOutOfRange,  // outside 1..32767
    FieldNumberUsedTwice,   // the later field of the two
    FieldBoxOutsideLabel,   // or a box without area
    StaticOutsideLabel,     // a line end off the label, a box or image not wholly on it
};

struct LayoutProblem {
    LayoutRule rule = LayoutRule::LabelWithoutArea;
    std::optional<std::size_t> fieldIndex;   // position in `fields`
    std::optional<std::size_t> staticIndex;  // position in `statics`
};

// Every layout problem of the format, in the order of the label, its fields, its statics.
std::vector<LayoutProblem> listLayoutProblems(const LabelFormat& format);

// FormatLayoutError when listLayoutProblems finds any.
std::optional<ErrorNumber> findLayoutError(const LabelFormat& format);

}  // namespace labelformat
