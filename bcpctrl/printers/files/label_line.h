// SPDX-License-Identifier: MIT
// JSON strings written straight into a line, for output that is written once per label
// and must cost no more than the text it carries.
#pragma once

#include <string>
#include <string_view>

namespace bcpctrl {

// Appends `text` as a JSON string, quotes included, byte for byte as the JSON library
// writes it: the short escapes for quote, backslash, \b \f \n \r \t, \u00xx for the other
// control characters, and U+FFFD for each maximal piece that is not UTF-8.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace bcpctrl
