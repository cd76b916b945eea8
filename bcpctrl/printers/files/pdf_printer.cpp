// SPDX-License-Identifier: MIT
// {"type": "pdf", "output": ..., "dpi": 203}: one PDF per job, one page per label,
// written under a temporary name and renamed at ClosePort, or written through to a
// character device as the pages are made.
#include <optional>
#include <system_error>
#include <utility>

#include "core/io/file_claim.h"
#include "core/io/output_file.h"
#include "core/io/shared_folders.h"
#include "core/io/temporary_file.h"
#include "printers/files/file_kinds.h"
#include "render/pdf.h"

namespace bcpctrl::printers::files {
namespace {

namespace fs = std::filesystem;

struct PdfEntry final : PrinterEntry {
    fs::path output;  // as listed, mapped like a host path
    int dotsPerInch = render::kDefaultDotsPerInch;  // bars fall on whole dots of this resolution

    PortOpening open(const PortContext& port) const override;
    int drawingDotsPerInch() const override { return dotsPerInch; }
};

// Where a job's PDF goes. A file (or nothing yet) at the output is replaced when the job
// ends by a file written under a temporary name, while the job holds the output against
// every other job. A character device (/dev/null, a printer) gets the pages as they are
// made: it cannot be replaced, and a device takes one document after another.
class PdfOutput {
public:
    // Nothing when the output is something else (a directory, FIFO, socket, block device),
    // another job holds it, or its folder cannot take the temporary file.
    static std::optional<PdfOutput> open(const fs::path& output) {
        const io::OutputKind kind = io::outputKindOf(output);
        if (kind == io::OutputKind::CharacterDevice) {
            io::UniqueFd device = io::openOutput(output, false);
            if (!device) return std::nullopt;
            return PdfOutput(std::move(device));
        }
        if (kind == io::OutputKind::Refused) return std::nullopt;
        // A symbolic link stays; the file it leads to is replaced, beside itself.
        std::error_code error;
        const bool isLink = kind == io::OutputKind::RegularFile && fs::is_symlink(output, error);
        const fs::path file = isLink ? fs::canonical(output, error) : output;
        if (error) return std::nullopt;
        auto claim = io::FileClaim::take(file);
        auto temporary = claim ? io::TemporaryFile::createFor(file) : std::nullopt;
        if (!temporary) return std::nullopt;
        return PdfOutput(std::move(*claim), std::move(*temporary));
    }

    bool write(std::string_view bytes) {
        std::size_t written = 0;
        return file_ ? file_->write(bytes) : io::writeAll(device_.get(), bytes, written);
    }
    // A file is given its name once the document is whole; without pages it is dropped.
    bool finish(bool hasPages) {
        const bool done = !file_ || !hasPages || file_->commit(io::Replacing::RegularFile);
        file_.reset();
        claim_.reset();
        return device_.reset() && done;
    }

private:
    explicit PdfOutput(io::UniqueFd device) : device_(std::move(device)) {}
    PdfOutput(io::FileClaim claim, io::TemporaryFile file) : claim_(std::move(claim)), file_(std::move(file)) {}

    std::optional<io::FileClaim> claim_;
    std::optional<io::TemporaryFile> file_;
    io::UniqueFd device_;
};

class PdfPrinter final : public Printer {
public:
    PdfPrinter(PdfOutput output, int dotsPerInch)
        : output_(std::move(output)),
          document_([this](std::string_view bytes) { return output_.write(bytes); }),
          dotsPerInch_(dotsPerInch) {}
    PdfPrinter(const PdfPrinter&) = delete;
    PdfPrinter& operator=(const PdfPrinter&) = delete;
    // A printer discarded without ClosePort still keeps the labels it took.
    ~PdfPrinter() override { static_cast<void>(close()); }

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override {
        static_cast<void>(events);
        const render::LabelLayout layout = label.renderer.layOut(label.content, dotsPerInch_);
        for (int copy = 0; copy < label.copies; ++copy) {
            if (!document_.addPage(layout)) {
                return {resultCodeOf(ErrorNumber::WriteFailed), ""};
            }
        }
        return {kSuccess, std::string(printer_status::kReady)};
    }

    // A job without labels leaves the output as it was.
    frame::ResultCode close() override {
        if (closed_) return kSuccess;
        closed_ = true;
        const bool hasPages = document_.pageCount() > 0;
        const bool finished = document_.finish();
        return output_.finish(hasPages && finished) && finished ? kSuccess : resultCodeOf(ErrorNumber::WriteFailed);
    }

private:
    PdfOutput output_;
    render::PdfDocument document_;
    int dotsPerInch_;
    bool closed_ = false;
};

PortOpening PdfEntry::open(const PortContext& port) const {
    const auto file = port.outputPath(output);
    if (!file) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    auto pdf = io::makeFolders(file->parent_path()) ? PdfOutput::open(*file) : std::nullopt;
    if (!pdf) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    return {kSuccess, std::make_unique<PdfPrinter>(std::move(*pdf), dotsPerInch)};
}

}  // namespace

std::unique_ptr<const PrinterEntry> readPdfEntry(const Json& entry) {
    auto pdfEntry = std::make_unique<PdfEntry>();
    pdfEntry->output = readListedFile(labelformat::json_reading::member(entry, "output"));
    pdfEntry->dotsPerInch = readDotsPerInch(entry);
    return pdfEntry;
}

}  // namespace bcpctrl::printers::files
