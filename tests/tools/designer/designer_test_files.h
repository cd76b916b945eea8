// SPDX-License-Identifier: MIT
// Files the designer's tests read: whole files as bytes, the sample formats and data.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace designer_testing {

inline std::string fileText(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

inline std::filesystem::path sampleFormatPath(const std::string& name) {
    return std::filesystem::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats" / (name + ".json");
}

inline std::filesystem::path sampleDataPath(const std::string& name) {
    return std::filesystem::path(MOKUREN_SAMPLES_DIR) / "DATA" / name;
}

}  // namespace designer_testing
