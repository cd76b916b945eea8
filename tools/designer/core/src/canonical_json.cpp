// SPDX-License-Identifier: MIT
#include "designer/canonical_json.h"

#include "labelformat/json_reading.h"

namespace designer {
namespace {

// Arrays and objects nest no deeper than the limit: counted on the text, before the
// parser builds anything. Brackets inside strings do not count.
bool nestedWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (inString) {
            if (c == '\\') {
                ++at;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
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
    if (!nestedWithin(text, kMaxNestingDepth)) return fail("nested too deeply");
    std::string saturated;
    const std::string_view readable = labelformat::json_reading::withLongIntegersSaturated(text, saturated);
    Json document = Json::parse(readable.begin(), readable.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) return fail("not JSON");
    if (!document.is_object()) return fail("not a JSON object");
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
