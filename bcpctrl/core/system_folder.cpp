// SPDX-License-Identifier: MIT
#include "core/system_folder.h"

#include <system_error>

namespace bcpctrl {

namespace fs = std::filesystem;

hostpaths::DriveTable driveTableOf(const EnvironmentLookup& environment) {
    return hostpaths::DriveTable::fromVariable(nonEmptyVariable(environment, hostpaths::kDrivesVariable));
}

Outcome<fs::path> resolveSystemDirectory(std::string_view systemPath, const EnvironmentLookup& environment) {
    std::optional<fs::path> directory;
    if (auto fromEnvironment = nonEmptyVariable(environment, kSystemDirVariable)) {
        directory = fs::path(*fromEnvironment);
    } else {
        directory = hostpaths::mapCallerPath(systemPath, driveTableOf(environment));
    }
    std::error_code ignored;
    if (!directory || (fs::exists(*directory, ignored) && !fs::is_directory(*directory, ignored))) {
        return ErrorNumber::UnusableSystemPath;
    }
    return *directory;
}

Outcome<fs::path> resolveFormatFile(std::string_view formatName, const Outcome<fs::path>& systemDirectory,
                                    const hostpaths::DriveTable& drives) {
    auto mapped = hostpaths::mapCallerPath(formatName, drives);
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
