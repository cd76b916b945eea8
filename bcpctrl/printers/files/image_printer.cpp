// SPDX-License-Identifier: MIT
// {"type": "image", "folder": ..., "dpi": 203}: one 1-bit PNG per label, in a folder of
// its own for each job.
#include <utility>

#include "core/io/temporary_file.h"
#include "printers/files/picture_folder.h"
#include "printers/files/file_kinds.h"

namespace bcpctrl::printers::files {
namespace {

struct ImageEntry final : PrinterEntry {
    std::filesystem::path folder;  // as listed, mapped like a host path
    int dotsPerInch = render::kDefaultDotsPerInch;

    PortOpening open(const PortContext& port) const override;
    int drawingDotsPerInch() const override { return dotsPerInch; }
};

class ImagePrinter final : public Printer {
public:
    ImagePrinter(PictureFolder pictures, int dotsPerInch) : pictures_(std::move(pictures)), dotsPerInch_(dotsPerInch) {}

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override {
        static_cast<void>(events);
        if (!pictures_.writeLabel(label, dotsPerInch_, labelsWritten_ + 1)) {
            return {resultCodeOf(ErrorNumber::WriteFailed), ""};
        }
        labelsWritten_ += label.copies;
        return {kSuccess, std::string(printer_status::kReady)};
    }

private:
    PictureFolder pictures_;
    int dotsPerInch_;
    int labelsWritten_ = 0;
};

PortOpening ImageEntry::open(const PortContext& port) const {
    const auto path = port.outputPath(folder);
    auto pictures = path ? PictureFolder::claimNextJob(*path) : std::nullopt;
    if (!pictures) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    return {kSuccess, std::make_unique<ImagePrinter>(std::move(*pictures), dotsPerInch)};
}

}  // namespace

std::unique_ptr<const PrinterEntry> readImageEntry(const Json& entry) {
    auto imageEntry = std::make_unique<ImageEntry>();
    imageEntry->folder = readListedFile(labelformat::json_reading::member(entry, "folder"));
    imageEntry->dotsPerInch = readDotsPerInch(entry);
    return imageEntry;
}

}  // namespace bcpctrl::printers::files
