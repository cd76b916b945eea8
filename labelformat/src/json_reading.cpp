// SPDX-License-Identifier: MIT
#include "json_reading.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>

namespace bcpctrl::json_reading {

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

// Longer than any 64-bit integer, short enough for a double.
constexpr std::string_view kSaturatedDigits = "99999999999999999999";

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A JSON integer: an optional minus, then 0 or digits without a leading zero.
bool isIntegerToken(std::string_view token) {
    const std::string_view digits = token.substr(token.starts_with('-') ? 1 : 0);
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), isDigit) &&
           (digits.size() == 1 || digits.front() != '0');
}

// Integers longer than any 64-bit one are shortened to one that still is, since past 308
// digits the parser would refuse them as unreadable (a number overflowing even a double).
// Strings are skipped whole; the text is copied only when such an integer occurs.
std::string_view withLongIntegersShortened(std::string_view text, std::string& shortened) {
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
        if (token.size() > kSaturatedDigits.size() + 1 && isIntegerToken(token)) {
            shortened.append(text.substr(copiedUpTo, at - copiedUpTo));
            shortened.append(token.starts_with('-') ? "-" : "").append(kSaturatedDigits);
            copiedUpTo = end;
        }
        at = end - 1;
    }
    if (copiedUpTo == 0) {
        return text;
    }
    shortened.append(text.substr(copiedUpTo));
    return shortened;
}

// The library's own document builder, except for integers too long for 64 bits: the
// parser hands those over as floating-point numbers, which would make 18446744073709551616
// "not an integer" while 18446744073709551615 is one. They are kept as integers instead,
// at the end of the 64-bit range on their side, so every range check rejects them as the
// out-of-range integers they are.
class DocumentBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    using json_sax_dom_parser::json_sax_dom_parser;

    bool number_float(Json::number_float_t value, const Json::string_t& lexeme) {
        if (lexeme.find_first_of(".eE") != Json::string_t::npos) {
            return json_sax_dom_parser::number_float(value, lexeme);
        }
        if (lexeme.front() == '-') {
            return number_integer(std::numeric_limits<Json::number_integer_t>::min());
        }
        return number_unsigned(std::numeric_limits<Json::number_unsigned_t>::max());
    }
};

}  // namespace

Json parseWithoutThrowing(std::string_view text) {
    std::string shortened;
    text = withLongIntegersShortened(text, shortened);
    Json document;
    DocumentBuilder builder(document, /*allow_exceptions=*/false);
    if (!Json::sax_parse(text.begin(), text.end(), &builder) || builder.is_errored()) {
        return Json(Json::value_t::discarded);
    }
    return document;
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

bool readBool(const Json& value) {
    if (!value.is_boolean()) {
        throw JsonShapeError{};
    }
    return value.get<bool>();
}

}  // namespace bcpctrl::json_reading
