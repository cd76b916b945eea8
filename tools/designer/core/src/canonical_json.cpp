// SPDX-License-Identifier: MIT
#include "designer/canonical_json.h"

#include <utility>
#include <vector>

#include "labelformat/json_reading.h"

namespace designer {
namespace {

// Arrays and objects nest no deeper than the limit. Counted without recursion, since the
// document may nest deeper than the stack would take.
bool nestedWithin(const Json& document, int limit) {
    std::vector<std::pair<const Json*, int>> pending{{&document, 1}};
    while (!pending.empty()) {
        const auto [value, depth] = pending.back();
        pending.pop_back();
        if (!value->is_structured()) continue;
        if (depth > limit) return false;
        for (const Json& member : *value) pending.emplace_back(&member, depth + 1);
    }
    return true;
}

std::string scalarText(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Everything on one line: {"a": 1, "b": [1, 2]}.
void writeInline(const Json& value, std::string& out) {
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, member] : value.items()) {
            if (!first) out += ", ";
            first = false;
            out += scalarText(Json(key));
            out += ": ";
            writeInline(member, out);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (i > 0) out += ", ";
            writeInline(value[i], out);
        }
        out += ']';
    } else {
        out += scalarText(value);
    }
}

// A non-empty array one element a line, its brackets at `indent`.
void writeArrayLines(const Json& array, std::string_view indent, std::string& out) {
    out += "[\n";
    for (std::size_t i = 0; i < array.size(); ++i) {
        out.append(indent).append("  ");
        writeInline(array[i], out);
        out += i + 1 < array.size() ? ",\n" : "\n";
    }
    out.append(indent).append("]");
}

}  // namespace

std::optional<Json> parseFormatJson(std::string_view text, std::string* why) {
    const auto fail = [why](const char* reason) -> std::optional<Json> {
        if (why != nullptr) *why = reason;
        return std::nullopt;
    };
    std::string saturated;
    const std::string_view readable = labelformat::json_reading::withLongIntegersSaturated(text, saturated);
    Json document = Json::parse(readable.begin(), readable.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) return fail("not JSON");
    if (!document.is_object()) return fail("not a JSON object");
    if (!nestedWithin(document, kMaxNestingDepth)) return fail("nested too deeply");
    return document;
}

std::string writeCanonical(const Json& document) {
    std::string out;
    if (!document.is_object() || document.empty()) {
        writeInline(document, out);
        return out + "\n";
    }
    out += "{\n";
    std::size_t left = document.size();
    for (const auto& [key, value] : document.items()) {
        out.append("  ").append(scalarText(Json(key))).append(": ");
        if (value.is_array() && !value.empty()) {
            writeArrayLines(value, "  ", out);
        } else {
            writeInline(value, out);
        }
        out += --left > 0 ? ",\n" : "\n";
    }
    return out + "}\n";
}

}  // namespace designer
