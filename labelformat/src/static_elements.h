// SPDX-License-Identifier: MIT
// The optional "static" array of a label format: lines, boxes and images drawn beneath
// the fields. Apart from the fields' code so that either can change on its own.
#pragma once

#include <vector>

#include "bcpctrl/label_format.h"
#include "json_reading.h"

namespace bcpctrl::static_elements {

// Throws JsonShapeError for a malformed element, as the fields' reader does.
std::vector<StaticElement> readStaticElements(const json_reading::Json& document);

// Lines with both ends on the label, boxes and images wholly on it.
bool insideLabel(const StaticElement& element, const LabelFormat& format);

}  // namespace bcpctrl::static_elements
