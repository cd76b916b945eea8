// SPDX-License-Identifier: MIT
#include "bcpctrl/host_paths.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <system_error>

namespace bcpctrl {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDriveRoot = "/opt";

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool startsWithDriveLetter(std::string_view text) {
    return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) != 0 &&
           text[1] == ':';
}

std::string withForwardSlashes(std::string_view text) {
    std::string converted(text);
    std::replace(converted.begin(), converted.end(), '\\', '/');
    return converted;
}

}  // namespace

std::optional<fs::path> mapHostPath(std::string_view hostPath) {
    if (hostPath.empty() || hasControlCharacter(hostPath)) {
        return std::nullopt;
    }
    const std::string slashed = withForwardSlashes(hostPath);
    if (!startsWithDriveLetter(slashed)) {
        return fs::path(slashed);
    }
    const std::string_view afterDrive = std::string_view(slashed).substr(2);
    if (!afterDrive.empty() && afterDrive.front() != '/') {
        return std::nullopt;  // "C:name" is relative to a per-drive directory we do not have
    }
    return fs::path(std::string(kDriveRoot) + std::string(afterDrive));
}

Outcome<fs::path> resolveSystemDirectory(std::string_view systemPath,
                                         const EnvironmentLookup& environment) {
    std::optional<fs::path> directory;
    if (auto fromEnvironment = nonEmptyVariable(environment, kSystemDirVariable)) {
        directory = fs::path(*fromEnvironment);
    } else {
        directory = mapHostPath(systemPath);
    }
    std::error_code ignored;
    if (!directory || (fs::exists(*directory, ignored) && !fs::is_directory(*directory, ignored))) {
        return ErrorNumber::UnusableSystemPath;
    }
    return *directory;
}

Outcome<fs::path> resolveFormatFile(std::string_view formatName,
                                    const Outcome<fs::path>& systemDirectory) {
    auto mapped = mapHostPath(formatName);
    if (!mapped || !mapped->has_filename()) {
        return ErrorNumber::FormatUnreadable;
    }
    fs::path file = *mapped;
    if (!file.has_parent_path()) {
        if (!systemDirectory.ok()) {
            return *systemDirectory.error();
        }
        file = systemDirectory.value() / "formats" / file;
    }
    if (!file.has_extension()) {
        file += ".json";
    }
    return file;
}

}  // namespace bcpctrl
