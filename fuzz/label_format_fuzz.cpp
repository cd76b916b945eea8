// SPDX-License-Identifier: MIT
// Every input is a label format file. A format that reads finds each of its fields by
// number, and a label of its default texts is written byte for byte as the JSON library
// would write it.
#include <nlohmann/json.hpp>

#include "labelformat/label_format.h"
#include "printers/files/label_line.h"
#include "fuzz_check.h"

namespace {

std::string libraryLine(int labelNumber, const std::map<std::int16_t, std::string>& values) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    for (const auto& [number, text] : values) {
        if (!text.empty()) fields[std::to_string(number)] = text;
    }
    const nlohmann::ordered_json line{{"label", labelNumber}, {"copies", 1}, {"cut", false}, {"fields", fields}};
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto format = labelformat::parseLabelFormat(fuzzing::textOf(data, size));
    if (!format.ok()) {
        FUZZ_CHECK(format.error() == labelformat::ErrorNumber::FormatUnreadable);
        return 0;
    }
    const labelformat::LabelFormat& read = format.value();
    const auto layout = labelformat::findLayoutError(read);
    FUZZ_CHECK(!layout || *layout == labelformat::ErrorNumber::FormatLayoutError);
    std::map<std::int16_t, std::string> values;
    for (const labelformat::LabelField& field : read.fields) {
        const labelformat::LabelField* found = read.findField(field.number);
        FUZZ_CHECK(found != nullptr && found->number == field.number);
        values.emplace(field.number, field.defaultText);
    }
    FUZZ_CHECK(bcpctrl::printers::files::labelLine(1, 1, false, values) == libraryLine(1, values));
    return 0;
}
