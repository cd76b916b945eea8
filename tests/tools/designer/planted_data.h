// SPDX-License-Identifier: MIT
// The sample receiving data (NYUKA.DAT, 12 records) with values planted for the fit check:
// supplier names (label field 4) a little too long in record 4, longer in record 10 and far
// too long in record 7, a JAN (field 11) with a wrong check digit in record 9, and remarks
// that are not CP932 in record 11.
#pragma once

#include <string>
#include <vector>

#include "designer_test_files.h"

namespace designer_testing {

// The fields of a CP932 line; a quoted field keeps its quotes.
inline std::vector<std::string> splitRecord(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

inline std::string plantedReceivingData() {
    const std::string original = fileText(sampleDataPath("NYUKA.DAT"));
    std::vector<std::vector<std::string>> records;
    for (std::size_t at = 0; at < original.size();) {
        const std::size_t end = original.find("\r\n", at);
        records.push_back(splitRecord(original.substr(at, end - at)));
        at = end + 2;
    }
    const auto plant = [&](std::size_t record, std::size_t position, std::string value) {
        records.at(record - 1).at(position - 1) = std::move(value);
    };
    plant(4, 5, std::string(30, 'M'));
    plant(10, 5, std::string(40, 'M'));
    plant(7, 5, std::string(100, 'M'));
    std::string& jan = records.at(8).at(20);
    jan.back() = jan.back() == '9' ? '0' : static_cast<char>(jan.back() + 1);
    plant(11, 23, "\x81\x20");
    std::string planted;
    for (const auto& record : records) {
        for (std::size_t i = 0; i < record.size(); ++i) planted += (i > 0 ? "," : "") + record[i];
        planted += "\r\n";
    }
    return planted;
}

}  // namespace designer_testing
