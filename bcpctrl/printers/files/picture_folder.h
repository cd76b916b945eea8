// SPDX-License-Identifier: MIT
// The pictures of a job that the image printer and the virtual printer's "images" write,
// one 1-bit PNG a label, each written whole under a temporary name and then renamed.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "core/printer.h"
#include "render/png.h"

namespace bcpctrl::printers::files {

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

}  // namespace bcpctrl::printers::files
