// SPDX-License-Identifier: MIT
// Files the picture and PDF printers write. Each is written under a temporary name in
// its own folder and renamed when whole, so a killed job never leaves half a picture
// under a real name, and nothing is ever written through a FIFO or a symbolic link.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "bcpctrl/printer.h"
#include "render/png.h"

namespace bcpctrl {

class TemporaryFile {
public:
    // Nothing when the folder cannot take a new file.
    static std::optional<TemporaryFile> createFor(const std::filesystem::path& finalPath);

    TemporaryFile(TemporaryFile&& other) noexcept;
    TemporaryFile& operator=(TemporaryFile&&) = delete;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();  // removes the file unless it was committed

    bool write(std::string_view bytes);  // false unless the system took all of it
    // Closes the file and gives it its final name; false (and the file removed) on failure.
    bool commit();

private:
    TemporaryFile(int descriptor, std::filesystem::path temporary, std::filesystem::path final);
    void discard();

    int descriptor_ = -1;
    std::filesystem::path temporary_;
    std::filesystem::path final_;
};

bool writeWholeFile(const std::filesystem::path& file, std::string_view bytes);

// The pictures of one job: <folder>/job-0001/label-00001.png, ... Each OpenPort claims
// the next job number, so no job overwrites another's pictures.
class PictureFolder {
public:
    static std::optional<PictureFolder> claimNextJob(const std::filesystem::path& folder);

    // The label's pictures at `dotsPerInch`, one per copy, numbered from `firstLabel`.
    bool writeLabel(const LabelToPrint& label, int dotsPerInch, int firstLabel);
    const std::filesystem::path& jobFolder() const { return jobFolder_; }

private:
    explicit PictureFolder(std::filesystem::path jobFolder)
        : jobFolder_(std::move(jobFolder)), encoder_(std::make_unique<render::PngEncoder>()) {}

    std::filesystem::path jobFolder_;
    std::unique_ptr<render::PngEncoder> encoder_;  // its buffers serve the whole job
};

}  // namespace bcpctrl
