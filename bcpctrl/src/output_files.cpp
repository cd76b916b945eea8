// SPDX-License-Identifier: MIT
#include "output_files.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "access_refusal.h"
#include "render/png.h"
#include "shared_folders.h"

namespace bcpctrl {
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

std::optional<TemporaryFile> TemporaryFile::createFor(const fs::path& finalPath) {
    const fs::path folder = finalPath.parent_path().empty() ? fs::path(".") : finalPath.parent_path();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path temporary = folder / ("." + finalPath.filename().string() + "." + std::to_string(::getpid()) +
                                             "-" + std::to_string(attempt) + ".tmp");
        const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor >= 0) {
            shareWithFolderGroup(descriptor, temporary);  // the mode goes with it to its final name
            return TemporaryFile(descriptor, temporary, finalPath);
        }
        if (errno != EEXIST) {
            reportRefusedAccess("write in", folder, errno);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

TemporaryFile::TemporaryFile(int descriptor, fs::path temporary, fs::path final)
    : descriptor_(descriptor), temporary_(std::move(temporary)), final_(std::move(final)) {}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      temporary_(std::move(other.temporary_)),
      final_(std::move(other.final_)) {
    other.temporary_.clear();
}

TemporaryFile::~TemporaryFile() { discard(); }

void TemporaryFile::discard() {
    if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
    if (!temporary_.empty()) {
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        temporary_.clear();
    }
}

bool TemporaryFile::write(std::string_view bytes) {
    while (!bytes.empty() && descriptor_ >= 0) {
        const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return bytes.empty();
}

bool TemporaryFile::commit() {
    const bool closed = descriptor_ >= 0 && ::close(std::exchange(descriptor_, -1)) == 0;
    if (!closed || std::rename(temporary_.c_str(), final_.c_str()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool writeWholeFile(const fs::path& file, std::string_view bytes) {
    auto temporary = TemporaryFile::createFor(file);
    return temporary && temporary->write(bytes) && temporary->commit();
}

std::optional<PictureFolder> PictureFolder::claimNextJob(const fs::path& folder) {
    if (!makeFolders(folder)) return std::nullopt;
    for (int job = highestJobNumber(folder) + 1, attempt = 0; attempt < kNameAttempts; ++job, ++attempt) {
        const fs::path jobFolder = folder / numbered(kJobPrefix, job, 4, "");
        const int error = makeFolder(jobFolder);
        if (error == 0) return PictureFolder(jobFolder);
        // A folder claimed by another program at the same moment: try the next.
        if (error != EEXIST || !fs::is_directory(jobFolder)) {
            reportRefusedAccess("make", jobFolder, error);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool PictureFolder::writeLabel(const LabelToPrint& label, int dotsPerInch, int firstLabel) {
    if (label.renderer == nullptr || label.content == nullptr) return false;
    const render::LabelLayout layout = label.renderer->layOut(*label.content, dotsPerInch);
    const std::string_view png = encoder_->encode(label.renderer->paint(layout));
    for (int copy = 0; copy < label.copies; ++copy) {
        if (!writeWholeFile(jobFolder_ / numbered("label-", firstLabel + copy, 5, ".png"), png)) return false;
    }
    return true;
}

}  // namespace bcpctrl
