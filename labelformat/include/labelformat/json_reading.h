// SPDX-License-Identifier: MIT
// Typed access to parsed JSON for the control's own files. A value of the wrong shape
// throws JsonShapeError, which each file's parser turns into its own error number, so
// the parsers read top to bottom without an error check after every key.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace labelformat::json_reading {

using Json = nlohmann::json;

// The control's own files are small; anything larger than this is not one of them.
inline constexpr std::uintmax_t kMaxDocumentBytes = 4 * 1024 * 1024;

// The whole text of a regular file of at most kMaxDocumentBytes, or nothing.
std::optional<std::string> readDocumentFile(const std::filesystem::path& file);

struct JsonShapeError {};

// The parsed document, or a discarded value for text that is not JSON. Never throws.
Json parseWithoutThrowing(std::string_view text);

// `text` with every integer too long for 64 bits written as the end of the 64-bit range on
// its side, as parseWithoutThrowing reads it: either `text` itself or `saturated`, filled.
std::string_view withLongIntegersSaturated(std::string_view text, std::string& saturated);

const Json& member(const Json& object, std::string_view key);           // must be there
const Json* optionalMember(const Json& object, std::string_view key);   // nullptr if absent
const Json& requireObject(const Json& value);
const Json& requireArray(const Json& value);
double readNumber(const Json& value);  // finite, integer or not
std::int64_t readInteger(const Json& value);
std::string readString(const Json& value);
bool readBool(const Json& value);
// An integer from `lowest` to `highest`.
int readBoundedInt(const Json& value, int lowest, int highest);

// One of the names `choices` lists, as its value.
template <typename T>
T readChoice(const Json& value, std::initializer_list<std::pair<std::string_view, T>> choices) {
    const std::string text = readString(value);
    for (const auto& [name, choice] : choices) {
        if (name == text) return choice;
    }
    throw JsonShapeError{};
}

}  // namespace labelformat::json_reading
