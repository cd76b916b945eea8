// SPDX-License-Identifier: MIT
#include "json_reading.h"

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

Json parseWithoutThrowing(std::string_view text) {
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

bool readBool(const Json& value) {
    if (!value.is_boolean()) {
        throw JsonShapeError{};
    }
    return value.get<bool>();
}

}  // namespace bcpctrl::json_reading
