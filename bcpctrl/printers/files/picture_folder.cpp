// SPDX-License-Identifier: MIT
#include "printers/files/picture_folder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>

#include "core/io/access_refusal.h"
#include "core/io/shared_folders.h"
#include "core/io/temporary_file.h"

namespace bcpctrl::printers::files {
namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 100;
constexpr std::string_view kJobPrefix = "job-";

std::string numbered(std::string_view prefix, int number, int digits, std::string_view suffix) {
    std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return std::string(prefix) + text + std::string(suffix);
}

// The highest number of a "job-N" entry in the folder, 0 when none.
int highestJobNumber(const fs::path& folder) {
    int highest = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(kJobPrefix)) continue;
        int number = 0;
        const char* digits = name.data() + kJobPrefix.size();
        const auto [end, failure] = std::from_chars(digits, name.data() + name.size(), number);
        if (failure == std::errc{} && end == name.data() + name.size()) highest = std::max(highest, number);
    }
    return highest;
}

}  // namespace

std::optional<PictureFolder> PictureFolder::claimNextJob(const fs::path& folder) {
    if (!io::makeFolders(folder)) return std::nullopt;
    for (int job = highestJobNumber(folder) + 1, attempt = 0; attempt < kNameAttempts; ++job, ++attempt) {
        const fs::path jobFolder = folder / numbered(kJobPrefix, job, 4, "");
        const int error = io::makeFolder(jobFolder);
        if (error == 0) return PictureFolder(jobFolder);
        // A folder claimed by another program at the same moment: try the next.
        if (error != EEXIST || !fs::is_directory(jobFolder)) {
            io::reportRefusedAccess("make", jobFolder, error);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool PictureFolder::writeLabel(const LabelToPrint& label, int dotsPerInch, int firstLabel) {
    const render::LabelLayout layout = label.renderer.layOut(label.content, dotsPerInch);
    const std::string_view png = encoder_->encode(label.renderer.paint(layout));
    for (int copy = 0; copy < label.copies; ++copy) {
        if (!io::writeWholeFile(jobFolder_ / numbered("label-", firstLabel + copy, 5, ".png"), png)) return false;
    }
    return true;
}

}  // namespace bcpctrl::printers::files
