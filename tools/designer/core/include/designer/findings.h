// SPDX-License-Identifier: MIT
// What the checks find in a format and in the labels it makes, each with the field (or
// static element) it concerns, so that a checks panel can select it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "designer/format_document.h"
#include "labelformat/label_format.h"

namespace designer {

enum class FindingKind {
    // LoadFormat's refusals: the format cannot be used at all.
    FormatUnreadable,   // 1300: not readable, a field or static element unreadable, an image unreadable
    ForAnotherPrinter,  // 1301: made for another printer model than the program's
    LayoutError,        // 1302: a rule of listLayoutProblems broken
    // A label's refusals and faults.
    BarcodeRefused,  // 1302 at Issue: the barcode cannot encode its text or does not fit
    NotReadBack,     // the barcode as drawn is not read back by a scanner
    RecordRefused,   // the program cannot read the record from its data file
    // What the renderer does to text that does not fit, and cannot show.
    Condensed,
    Cut,
    MissingGlyphs,
};

struct Finding {
    FindingKind kind = FindingKind::FormatUnreadable;
    std::optional<std::size_t> fieldIndex;   // position in "fields"
    std::int16_t fieldNumber = 0;            // 0 when no field, or no usable number
    std::optional<std::size_t> staticIndex;  // position in "static"
    std::optional<labelformat::LayoutRule> rule;  // LayoutError
    double condense = 1.0;                   // Condensed: the horizontal scale, 0.5..1
    int missingGlyphs = 0;                   // MissingGlyphs: characters without a glyph
    std::string detail;  // the renderer's reason, the program's message, the text read back

    // The control's error number (1300, 1301, 1302), 0 for the others.
    int errorNumber() const;
    // Whether a label with this finding is not printed, or printed but not scannable.
    bool refusesOrUnreadable() const;
    // The element to select for it.
    std::optional<ElementRef> element() const;
};

// One line of English for the check command and logs: "condensed 72%", "cut",
// "refused 1302 (EAN13: ...)", "error 1302 (the box is not inside the label)".
std::string describe(const Finding& finding);
// "field 6", "static 2" (counted from 1), or "format".
std::string describeWhere(const Finding& finding);

// LoadFormat's errors for the document: 1300 with the field or static element that cannot
// be read (or none, for the document as a whole), 1301 when `programUsePrinter` is given and
// is not the format's, every 1302 problem, and 1300 for each image the renderer cannot read.
std::vector<Finding> loadErrors(const FormatDocument& document, std::optional<std::int16_t> programUsePrinter);

}  // namespace designer
