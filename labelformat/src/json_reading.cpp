// SPDX-License-Identifier: MIT
#include "labelformat/json_reading.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

namespace labelformat::json_reading {

std::optional<std::string> readDocumentFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) ||
        std::filesystem::file_size(file, error) > kMaxDocumentBytes || error) {
        return std::nullopt;
    }
    std::ifstream stream(file, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
    if (stream.bad() || !stream.is_open()) {
        return std::nullopt;
    }
    return text;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A JSON integer: an optional minus, then 0 or digits without a leading zero.
bool isIntegerToken(std::string_view token) {
    const std::string_view digits = token.substr(token.starts_with('-') ? 1 : 0);
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit) &&
           (digits.size() == 1 || digits.front() != '0');
}

// The ends of the 64-bit range on either side, as JSON writes them.
constexpr std::string_view kHighestUnsigned = "18446744073709551615";
constexpr std::string_view kLowestSigned = "-9223372036854775808";

// Whether an integer token lies beyond `bound` on the same side of zero (equal lengths
// compare as their digits do).
bool beyond(std::string_view token, std::string_view bound) {
    return token.size() != bound.size() ? token.size() > bound.size() : token > bound;
}

}  // namespace

// The parser hands integers too long for 64 bits over as floating-point numbers, which
// would make 18446744073709551616 "not an integer" while 18446744073709551615 is one, and
// refuses those past 308 digits as unreadable. They are written as the end of the 64-bit
// range on their side instead, so every range check rejects them as the out-of-range
// integers they are. Strings are skipped whole; the text is copied only when such an
// integer occurs.
std::string_view withLongIntegersSaturated(std::string_view text, std::string& saturated) {
    bool inString = false;
    std::size_t copiedUpTo = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (inString) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (c != '-' && !isDigit(c)) {
            continue;
        }
        const std::size_t end = std::min(text.find_first_not_of("+-.eE0123456789", at), text.size());
        const std::string_view token = text.substr(at, end - at);
        const std::string_view bound = token.starts_with('-') ? kLowestSigned : kHighestUnsigned;
        if (isIntegerToken(token) && beyond(token, bound)) {
            saturated.append(text.substr(copiedUpTo, at - copiedUpTo)).append(bound);
            copiedUpTo = end;
        }
        at = end - 1;
    }
    if (copiedUpTo == 0) {
        return text;
    }
    saturated.append(text.substr(copiedUpTo));
    return saturated;
}

Json parseWithoutThrowing(std::string_view text) {
    std::string saturated;
    text = withLongIntegersSaturated(text, saturated);
    return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
}

const Json& requireObject(const Json& value) {
    if (!value.is_object()) {
        throw JsonShapeError{};
    }
    return value;
}

const Json& requireArray(const Json& value) {
    if (!value.is_array()) {
        throw JsonShapeError{};
    }
    return value;
}

const Json* optionalMember(const Json& object, std::string_view key) {
    const auto found = requireObject(object).find(key);
    return found == object.end() ? nullptr : &*found;
}

const Json& member(const Json& object, std::string_view key) {
    const Json* value = optionalMember(object, key);
    if (value == nullptr) {
        throw JsonShapeError{};
    }
    return *value;
}

double readNumber(const Json& value) {
    if (!value.is_number() || !std::isfinite(value.get<double>())) {
        throw JsonShapeError{};
    }
    return value.get<double>();
}

std::int64_t readInteger(const Json& value) {
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        throw JsonShapeError{};
    }
    if (!value.is_number_integer()) {
        throw JsonShapeError{};
    }
    return value.get<std::int64_t>();
}

std::string readString(const Json& value) {
    if (!value.is_string()) {
        throw JsonShapeError{};
    }
    return value.get<std::string>();
}

int readBoundedInt(const Json& value, int lowest, int highest) {
    const std::int64_t number = readInteger(value);
    if (number < lowest || number > highest) {
        throw JsonShapeError{};
    }
    return static_cast<int>(number);
}

bool readBool(const Json& value) {
    if (!value.is_boolean()) {
        throw JsonShapeError{};
    }
    return value.get<bool>();
}

}  // namespace labelformat::json_reading
