// SPDX-License-Identifier: MIT
// The virtual printer's line for an issued label, written straight rather than through a
// JSON object: it is written once per label and must cost no more than the text it carries.
#pragma once

#include <string>
#include <string_view>

#include "labelformat/label_format.h"

namespace bcpctrl::printers::files {

// {"label":n,"copies":c,"cut":false,"fields":{"1":"text",...}}: n is the number of the
// first of the c labels this Issue printed; every field with a non-empty text, in
// ascending number order. Text that is not UTF-8 has its bad bytes replaced.
std::string labelLine(int labelNumber, int copies, bool cut, const labelformat::FieldValues& values);

// Appends `text` as a JSON string, quotes included, byte for byte as the JSON library
// writes it: the short escapes for quote, backslash, \b \f \n \r \t, \u00xx for the other
// control characters, and U+FFFD for each maximal piece that is not UTF-8.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace bcpctrl::printers::files
