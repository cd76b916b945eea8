// SPDX-License-Identifier: MIT
#include "labelformat/label_format.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

#include "labelformat/json_reading.h"
#include "static_elements.h"

namespace labelformat {
namespace {

using namespace json_reading;

FieldType readFieldType(const Json& value) {
    return readChoice<FieldType>(value, {{"text", FieldType::Text}, {"barcode", FieldType::Barcode}});
}

Symbology readSymbology(const Json& value) {
    return readChoice<Symbology>(value, {
                                            {"EAN13", Symbology::Ean13},
                                            {"EAN8", Symbology::Ean8},
                                            {"CODE128", Symbology::Code128},
                                            {"GS1-128", Symbology::Gs1_128},
                                            {"CODE39", Symbology::Code39},
                                            {"NW7", Symbology::Nw7},
                                            {"ITF14", Symbology::Itf14},
                                            {"QR", Symbology::Qr},
                                        });
}

Align readAlign(const Json& value) {
    return readChoice<Align>(value, {{"left", Align::Left}, {"center", Align::Center}, {"right", Align::Right}});
}

int readRotationDeg(const Json& value) {
    const std::int64_t degrees = readInteger(value);
    if (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270) {
        throw JsonShapeError{};
    }
    return static_cast<int>(degrees);
}

std::int16_t readInt16(const Json& value) {
    return static_cast<std::int16_t>(readBoundedInt(value, std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max()));
}

// Any integer, however large or small, is a field number; one outside 1..32767 is a layout
// fault (1302), and only a value that is no integer at all makes the file unreadable.
std::int16_t readFieldNumber(const Json& value) {
    if (!value.is_number_integer()) {
        throw JsonShapeError{};
    }
    constexpr auto kHighest = static_cast<std::uint64_t>(std::numeric_limits<std::int16_t>::max());
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number <= kHighest ? static_cast<std::int16_t>(number) : std::int16_t{0};
    }
    const auto number = value.get<std::int64_t>();
    return number >= 0 && static_cast<std::uint64_t>(number) <= kHighest ? static_cast<std::int16_t>(number)
                                                                         : std::int16_t{0};
}

FontStyle readFont(const Json& value) {
    FontStyle font;
    if (const Json* family = optionalMember(value, "family")) {
        font.family = readString(*family);
    }
    if (const Json* size = optionalMember(value, "sizePt")) {
        font.sizePt = readNumber(*size);
        if (!(font.sizePt >= kSmallestFontPt && font.sizePt <= kLargestFontPt)) {
            throw JsonShapeError{};
        }
    }
    if (const Json* bold = optionalMember(value, "bold")) {
        font.bold = readBool(*bold);
    }
    return font;
}

void readOptionalFieldKeys(const Json& value, LabelField& field) {
    if (const Json* font = optionalMember(value, "font")) {
        field.font = readFont(*font);
    }
    if (const Json* align = optionalMember(value, "align")) {
        field.align = readAlign(*align);
    }
    if (const Json* defaultText = optionalMember(value, "default")) {
        field.defaultText = readString(*defaultText);
    }
    if (const Json* humanReadable = optionalMember(value, "humanReadable")) {
        field.humanReadable = readBool(*humanReadable);
    }
    if (const Json* wrap = optionalMember(value, "wrap")) {
        field.wrap = readBool(*wrap);
    }
}

LabelField readField(const Json& value) {
    LabelField field;
    field.number = readFieldNumber(member(value, "number"));
    field.type = readFieldType(member(value, "type"));
    if (field.type == FieldType::Barcode) {
        field.symbology = readSymbology(member(value, "symbology"));
    }
    field.xMm = readNumber(member(value, "xMm"));
    field.yMm = readNumber(member(value, "yMm"));
    field.widthMm = readNumber(member(value, "widthMm"));
    field.heightMm = readNumber(member(value, "heightMm"));
    field.rotationDeg = readRotationDeg(member(value, "rotation"));
    readOptionalFieldKeys(value, field);
    return field;
}

LabelFormat readFormat(const Json& document) {
    LabelFormat format;
    format.usePrinter = readInt16(member(document, "usePrinter"));
    const Json& label = requireObject(member(document, "label"));
    format.widthMm = readNumber(member(label, "widthMm"));
    format.heightMm = readNumber(member(label, "heightMm"));
    for (const Json& field : requireArray(member(document, "fields"))) {
        format.fields.push_back(readField(field));
    }
    format.statics = static_elements::readStaticElements(document);
    format.indexFields();
    return format;
}

bool boxFitsLabel(const LabelField& field, const LabelFormat& format) {
    return field.xMm >= 0.0 && field.yMm >= 0.0 && field.widthMm > 0.0 && field.heightMm > 0.0 &&
           field.xMm + field.widthMm <= format.widthMm + static_elements::kEdgeToleranceMm &&
           field.yMm + field.heightMm <= format.heightMm + static_elements::kEdgeToleranceMm;
}

// Above nothing, and no larger than a label printer's labels.
bool labelSizeUsable(const LabelFormat& format) {
    const double shorterMm = std::min(format.widthMm, format.heightMm);
    const double longerMm = std::max(format.widthMm, format.heightMm);
    return shorterMm > 0.0 && shorterMm <= kWidestLabelMm && longerMm <= kLongestLabelMm;
}

}  // namespace

const LabelField* LabelFormat::findField(std::int16_t number) const {
    if (fieldIndex_.size() != fields.size()) {
        const auto found = std::find_if(fields.begin(), fields.end(),
                                        [number](const LabelField& field) { return field.number == number; });
        return found == fields.end() ? nullptr : &*found;
    }
    const auto found = std::lower_bound(fieldIndex_.begin(), fieldIndex_.end(), number,
                                        [](const auto& entry, std::int16_t wanted) { return entry.first < wanted; });
    return found == fieldIndex_.end() || found->first != number ? nullptr : &fields[found->second];
}

void LabelFormat::indexFields() {
    fieldIndex_.clear();
    fieldIndex_.reserve(fields.size());
    for (std::size_t position = 0; position < fields.size(); ++position) {
        fieldIndex_.emplace_back(fields[position].number, position);
    }
    std::stable_sort(fieldIndex_.begin(), fieldIndex_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

Outcome<LabelFormat> parseLabelFormat(std::string_view jsonText) {
    const Json document = parseWithoutThrowing(jsonText);
    if (document.is_discarded()) {
        return ErrorNumber::FormatUnreadable;
    }
    try {
        return readFormat(document);
    } catch (const JsonShapeError&) {
        return ErrorNumber::FormatUnreadable;
    }
}

Outcome<LabelFormat> readLabelFormatFile(const std::filesystem::path& file) {
    const auto text = readDocumentFile(file);
    if (!text) {
        return ErrorNumber::FormatUnreadable;
    }
    auto format = parseLabelFormat(*text);
    if (format.ok()) {
        format.value().directory = file.parent_path();
    }
    return format;
}

std::vector<LayoutProblem> listLayoutProblems(const LabelFormat& format) {
    std::vector<LayoutProblem> problems;
    if (format.widthMm <= 0.0 || format.heightMm <= 0.0) {
        problems.push_back({LayoutRule::LabelWithoutArea, std::nullopt, std::nullopt});
    } else if (!labelSizeUsable(format)) {
        problems.push_back({LayoutRule::LabelTooLarge, std::nullopt, std::nullopt});
    }
    std::set<std::int16_t> seenNumbers;
    for (std::size_t index = 0; index < format.fields.size(); ++index) {
        const LabelField& field = format.fields[index];
        if (field.number < 1) {
            problems.push_back({LayoutRule::FieldNumberOutOfRange, index, std::nullopt});
        } else if (!seenNumbers.insert(field.number).second) {
            problems.push_back({LayoutRule::FieldNumberUsedTwice, index, std::nullopt});
        }
        if (!boxFitsLabel(field, format)) {
            problems.push_back({LayoutRule::FieldBoxOutsideLabel, index, std::nullopt});
        }
    }
    for (std::size_t index = 0; index < format.statics.size(); ++index) {
        if (!static_elements::insideLabel(format.statics[index], format)) {
            problems.push_back({LayoutRule::StaticOutsideLabel, std::nullopt, index});
        }
    }
    return problems;
}

std::optional<ErrorNumber> findLayoutError(const LabelFormat& format) {
    if (listLayoutProblems(format).empty()) {
        return std::nullopt;
    }
    return ErrorNumber::FormatLayoutError;
}

}  // namespace labelformat
