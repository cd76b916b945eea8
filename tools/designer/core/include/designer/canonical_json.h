// SPDX-License-Identifier: MIT
// The one way the designer writes a label format: UTF-8, LF line ends, the top-level keys
// one a line indented by two spaces, the elements of a top-level array one a line indented
// by four, everything inside them on that line with ", " and ": " between items, and a
// final line end. Keys keep their order; numbers are written as the JSON library writes
// them (100.0 stays 100.0, 11 stays 11). A file in this form reads and writes back byte
// for byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace designer {

// Keys in the order of the file.
using Json = nlohmann::ordered_json;

// Deeper nesting than this is no label format anyone writes; such text is not opened, so
// that writing it back cannot exhaust the stack.
inline constexpr int kMaxNestingDepth = 128;

// The text as an object, read as the format loader reads it (integers past 64 bits taken as
// the end of the range); nullopt when it is not JSON, not an object or nested too deeply,
// with the reason in `why` when given.
std::optional<Json> parseFormatJson(std::string_view text, std::string* why = nullptr);

// The canonical text of a document (any JSON value; a format is an object).
std::string writeCanonical(const Json& document);

}  // namespace designer
