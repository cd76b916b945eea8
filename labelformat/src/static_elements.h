// SPDX-License-Identifier: MIT
// The optional "static" array of a label format: lines, boxes and images drawn beneath
// the fields. Apart from the fields' code so that either can change on its own.
#pragma once

#include <vector>

#include "labelformat/label_format.h"
#include "labelformat/json_reading.h"

namespace labelformat::static_elements {

// Field boxes and static elements may touch the label's edge even when the sums of
// decimal millimetres come to a hair over it.
inline constexpr double kEdgeToleranceMm = 1e-6;

// Throws JsonShapeError for a malformed element, as the fields' reader does.
std::vector<StaticElement> readStaticElements(const json_reading::Json& document);

// Lines with both ends on the label, boxes and images wholly on it, no line or outline
// wider than the label.
bool insideLabel(const StaticElement& element, const LabelFormat& format);

}  // namespace labelformat::static_elements
