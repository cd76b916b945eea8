// SPDX-License-Identifier: MIT
#include "hostpaths/caller_paths.h"

#include <algorithm>
#include <cctype>

namespace hostpaths {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kStandardDriveRoot = "/opt";

bool hasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string upperCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), upper);
    return result;
}

std::string withForwardSlashes(std::string_view text) {
    std::string converted(text);
    std::replace(converted.begin(), converted.end(), '\\', '/');
    return converted;
}

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool startsWithDriveLetter(std::string_view text) { return text.size() >= 2 && isLetter(text[0]) && text[1] == ':'; }

// "//server/share/rest" split into its three parts; nothing unless server and share are named.
struct UncName {
    std::string_view server;
    std::string_view share;
    std::string_view rest;  // "" or "/a/b"
};

std::optional<UncName> splitUnc(std::string_view slashed) {
    if (slashed.substr(0, 2) != "//") return std::nullopt;
    const std::string_view afterPrefix = slashed.substr(2);
    const auto serverEnd = afterPrefix.find('/');
    if (serverEnd == 0 || serverEnd == std::string_view::npos) return std::nullopt;
    const std::string_view afterServer = afterPrefix.substr(serverEnd + 1);
    const auto shareEnd = std::min(afterServer.find('/'), afterServer.size());
    if (shareEnd == 0) return std::nullopt;
    return UncName{afterPrefix.substr(0, serverEnd), afterServer.substr(0, shareEnd), afterServer.substr(shareEnd)};
}

std::string shareKey(std::string_view server, std::string_view share) {
    return upperCase(server) + "\\" + upperCase(share);
}

// The directory of a drive or share with the rest of the name below it; a table's
// "/srv/c/" and "/srv/c" are the same directory.
fs::path below(const fs::path& directory, std::string_view rest) {
    std::string base = directory.string();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base == "/" && !rest.empty()) return fs::path(rest);
    return fs::path(base + std::string(rest));
}

enum class NameKind { Relative, Drive, Share, Malformed };

NameKind kindOf(std::string_view slashed) {
    if (slashed.empty() || hasControlCharacter(slashed)) return NameKind::Malformed;
    if (startsWithDriveLetter(slashed)) {
        // "C:name" is relative to a per-drive directory that this system does not have.
        const bool driveRelative = slashed.size() > 2 && slashed[2] != '/';
        return driveRelative ? NameKind::Malformed : NameKind::Drive;
    }
    if (slashed.substr(0, 2) == "//") return splitUnc(slashed) ? NameKind::Share : NameKind::Malformed;
    return NameKind::Relative;
}

}  // namespace

DriveTable DriveTable::standard() {
    DriveTable table;
    for (char letter = 'A'; letter <= 'Z'; ++letter) table.drives_[letter] = fs::path(kStandardDriveRoot);
    return table;
}

std::optional<DriveTable> DriveTable::parse(std::string_view text) {
    DriveTable table;
    while (!text.empty()) {
        const auto end = std::min(text.find(';'), text.size());
        const std::string_view entry = trimmed(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (entry.empty()) continue;
        const auto equals = entry.find('=');
        if (equals == std::string_view::npos) return std::nullopt;
        const std::string key = withForwardSlashes(trimmed(entry.substr(0, equals)));
        const std::string_view directory = trimmed(entry.substr(equals + 1));
        if (directory.empty() || directory.front() != '/' || hasControlCharacter(directory)) return std::nullopt;
        if (key.size() == 1 && isLetter(key[0])) {
            table.drives_[upper(key[0])] = fs::path(directory);
        } else if (const auto unc = splitUnc(key); unc && unc->rest.empty()) {
            table.shares_[shareKey(unc->server, unc->share)] = fs::path(directory);
        } else {
            return std::nullopt;
        }
    }
    return table;
}

DriveTable DriveTable::fromVariable(const std::optional<std::string>& value) {
    if (!value || value->empty()) return standard();
    return parse(*value).value_or(DriveTable{});
}

std::optional<fs::path> DriveTable::drive(char letter) const {
    const auto found = drives_.find(upper(letter));
    return found == drives_.end() ? std::nullopt : std::optional<fs::path>(found->second);
}

std::optional<fs::path> DriveTable::share(std::string_view server, std::string_view shareName) const {
    const auto found = shares_.find(shareKey(server, shareName));
    return found == shares_.end() ? std::nullopt : std::optional<fs::path>(found->second);
}

bool isWellFormed(std::string_view callerPath) { return kindOf(withForwardSlashes(callerPath)) != NameKind::Malformed; }

std::optional<fs::path> mapCallerPath(std::string_view callerPath, const DriveTable& drives) {
    const std::string slashed = withForwardSlashes(callerPath);
    switch (kindOf(slashed)) {
        case NameKind::Relative: return fs::path(slashed);
        case NameKind::Drive: {
            const auto directory = drives.drive(slashed[0]);
            if (!directory) return std::nullopt;
            return below(*directory, std::string_view(slashed).substr(2));
        }
        case NameKind::Share: {
            const auto unc = splitUnc(slashed);
            const auto directory = drives.share(unc->server, unc->share);
            if (!directory) return std::nullopt;
            return below(*directory, unc->rest);
        }
        case NameKind::Malformed: break;
    }
    return std::nullopt;
}

}  // namespace hostpaths
