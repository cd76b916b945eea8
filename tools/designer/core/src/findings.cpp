// SPDX-License-Identifier: MIT
#include "designer/findings.h"

#include <algorithm>

#include "render/label_renderer.h"

namespace designer {
namespace {

using labelformat::ErrorNumber;
using labelformat::LayoutRule;

constexpr std::string_view kUnreadableDetail = "a key missing, wrongly typed or unknown in value";

std::string_view ruleText(LayoutRule rule) {
    switch (rule) {
        case LayoutRule::LabelWithoutArea: return "the label has no area";
        case LayoutRule::LabelTooLarge: return "the label is larger than 254 x 650 mm";
        case LayoutRule::FieldNumberOutOfRange: return "the field number is outside 1..32767";
        case LayoutRule::FieldNumberUsedTwice: return "the field number is used twice";
        case LayoutRule::FieldBoxOutsideLabel: return "the box is not inside the label";
        case LayoutRule::StaticOutsideLabel: return "not inside the label";
    }
    return "";
}

std::int16_t usableNumber(const FormatDocument& document, std::size_t index) {
    const auto number = document.fieldNumberAt(index);
    return number && *number >= kLowestFieldNumber && *number <= kHighestFieldNumber ? static_cast<std::int16_t>(*number)
                                                                                      : std::int16_t{0};
}

Finding unreadable(std::string detail) { return {FindingKind::FormatUnreadable, {}, 0, {}, {}, 1.0, 0, std::move(detail)}; }

// Whether the loader reads the document with only these fields and static elements: the
// parts are tried one by one so that the one it cannot read is named.
bool readsWith(const Json& document, Json fields, Json statics) {
    Json part = document;
    part["fields"] = std::move(fields);
    if (statics.empty()) {
        part.erase("static");
    } else {
        part["static"] = std::move(statics);
    }
    return labelformat::parseLabelFormat(writeCanonical(part)).ok();
}

std::vector<Finding> locateUnreadable(const FormatDocument& document) {
    const Json& json = document.json();
    if (!readsWith(json, Json::array(), Json::array())) {
        return {unreadable("usePrinter, the label's size or the lists of fields and static elements: " +
                           std::string(kUnreadableDetail))};
    }
    std::vector<Finding> findings;
    for (std::size_t index = 0; index < document.fieldCount(); ++index) {
        if (readsWith(json, Json::array({json["fields"][index]}), Json::array())) continue;
        Finding finding = unreadable(std::string(kUnreadableDetail));
        finding.fieldIndex = index;
        finding.fieldNumber = usableNumber(document, index);
        findings.push_back(std::move(finding));
    }
    for (std::size_t index = 0; index < document.staticCount(); ++index) {
        if (readsWith(json, Json::array(), Json::array({json["static"][index]}))) continue;
        Finding finding = unreadable(std::string(kUnreadableDetail));
        finding.staticIndex = index;
        findings.push_back(std::move(finding));
    }
    if (findings.empty()) findings.push_back(unreadable(std::string(kUnreadableDetail)));
    return findings;
}

std::vector<Finding> unreadableImages(const labelformat::LabelFormat& format) {
    const auto fonts = render::Fonts::loadWhenNeeded();
    if (render::LabelRenderer::create(format, fonts).ok()) return {};
    std::vector<Finding> findings;
    for (std::size_t index = 0; index < format.statics.size(); ++index) {
        if (format.statics[index].type != labelformat::StaticType::Image) continue;
        labelformat::LabelFormat alone = format;
        alone.statics = {format.statics[index]};
        if (render::LabelRenderer::create(alone, fonts).ok()) continue;
        Finding finding = unreadable("the image " + format.statics[index].file.string() + " cannot be read as a PNG file");
        finding.staticIndex = index;
        findings.push_back(std::move(finding));
    }
    return findings;
}

}  // namespace

int Finding::errorNumber() const {
    switch (kind) {
        case FindingKind::FormatUnreadable: return static_cast<int>(ErrorNumber::FormatUnreadable);
        case FindingKind::ForAnotherPrinter: return static_cast<int>(ErrorNumber::FormatForAnotherPrinter);
        case FindingKind::LayoutError:
        case FindingKind::BarcodeRefused: return static_cast<int>(ErrorNumber::FormatLayoutError);
        default: return 0;
    }
}

bool Finding::refusesOrUnreadable() const {
    return kind != FindingKind::Condensed && kind != FindingKind::Cut && kind != FindingKind::MissingGlyphs;
}

std::optional<ElementRef> Finding::element() const {
    if (fieldIndex) return ElementRef{ElementKind::Field, *fieldIndex};
    if (staticIndex) return ElementRef{ElementKind::Static, *staticIndex};
    return std::nullopt;
}

std::string describe(const Finding& finding) {
    const std::string number = std::to_string(finding.errorNumber());
    switch (finding.kind) {
        case FindingKind::FormatUnreadable:
        case FindingKind::ForAnotherPrinter: return "error " + number + " (" + finding.detail + ")";
        case FindingKind::LayoutError:
            return "error " + number + " (" + std::string(ruleText(finding.rule.value_or(LayoutRule::LabelWithoutArea))) + ")";
        case FindingKind::BarcodeRefused: return "refused " + number + " (" + finding.detail + ")";
        case FindingKind::NotReadBack:
            return finding.detail.empty() ? "barcode not read back" : "barcode not read back (read \"" + finding.detail + "\")";
        case FindingKind::RecordRefused: return "refused (" + finding.detail + ")";
        case FindingKind::Condensed: return "condensed " + std::to_string(static_cast<int>(finding.condense * 100)) + "%";
        case FindingKind::Cut: return "cut";
        case FindingKind::MissingGlyphs:
            return std::to_string(finding.missingGlyphs) + (finding.missingGlyphs == 1 ? " missing glyph" : " missing glyphs");
    }
    return "";
}

std::string describeWhere(const Finding& finding) {
    if (finding.fieldIndex) {
        return finding.fieldNumber > 0 ? "field " + std::to_string(finding.fieldNumber)
                                       : "field at position " + std::to_string(*finding.fieldIndex + 1);
    }
    if (finding.staticIndex) return "static " + std::to_string(*finding.staticIndex + 1);
    return "format";
}

std::vector<Finding> loadErrors(const FormatDocument& document, std::optional<std::int16_t> programUsePrinter) {
    const auto& format = document.format();
    if (!format.ok()) return locateUnreadable(document);
    std::vector<Finding> findings;
    if (programUsePrinter && *programUsePrinter != format.value().usePrinter) {
        findings.push_back({FindingKind::ForAnotherPrinter, {}, 0, {}, {}, 1.0, 0,
                            "made for printer model " + std::to_string(format.value().usePrinter) + ", the program uses " +
                                std::to_string(*programUsePrinter)});
    }
    for (const labelformat::LayoutProblem& problem : labelformat::listLayoutProblems(format.value())) {
        Finding finding{FindingKind::LayoutError, problem.fieldIndex, 0, problem.staticIndex, problem.rule, 1.0, 0, {}};
        if (problem.fieldIndex) finding.fieldNumber = usableNumber(document, *problem.fieldIndex);
        findings.push_back(std::move(finding));
    }
    const auto images = unreadableImages(format.value());
    findings.insert(findings.end(), images.begin(), images.end());
    return findings;
}

}  // namespace designer
