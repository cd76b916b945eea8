// SPDX-License-Identifier: MIT
// {"type": "pdf", "output": ..., "dpi": 203}: one PDF per job, one page per label,
// written under a temporary name and renamed at ClosePort.
#include <utility>

#include "bcpctrl/result_codes.h"
#include "output_files.h"
#include "printer_kinds.h"
#include "render/pdf.h"
#include "shared_folders.h"

namespace bcpctrl {
namespace {

struct PdfEntry final : PrinterEntry {
    std::filesystem::path output;  // as listed, mapped like a host path
    int dotsPerInch = render::kDefaultDotsPerInch;  // bars fall on whole dots of this resolution

    PortOpening open(const PortContext& port) const override;
    int drawingDotsPerInch() const override { return dotsPerInch; }
};

class PdfPrinter final : public Printer {
public:
    PdfPrinter(TemporaryFile file, int dotsPerInch)
        : file_(std::move(file)),
          document_([this](std::string_view bytes) { return file_.write(bytes); }),
          dotsPerInch_(dotsPerInch) {}
    PdfPrinter(const PdfPrinter&) = delete;
    PdfPrinter& operator=(const PdfPrinter&) = delete;
    // A printer discarded without ClosePort still keeps the labels it took.
    ~PdfPrinter() override { static_cast<void>(close()); }

    IssueAnswer issue(const LabelToPrint& label, StatusEvents& events) override {
        static_cast<void>(events);
        if (label.renderer == nullptr || label.content == nullptr) {
            return {resultCodeOf(ErrorNumber::WriteFailed), ""};
        }
        const render::LabelLayout layout = label.renderer->layOut(*label.content, dotsPerInch_);
        for (int copy = 0; copy < label.copies; ++copy) {
            if (!document_.addPage(layout)) {
                return {resultCodeOf(ErrorNumber::WriteFailed), ""};
            }
        }
        return {kSuccess, kReadyStatus};
    }

    // A job without labels leaves no file.
    frame::ResultCode close() override {
        if (closed_) return kSuccess;
        closed_ = true;
        const bool hasPages = document_.pageCount() > 0;
        const bool finished = document_.finish();
        if (!hasPages) return finished ? kSuccess : resultCodeOf(ErrorNumber::WriteFailed);
        return finished && file_.commit() ? kSuccess : resultCodeOf(ErrorNumber::WriteFailed);
    }

private:
    TemporaryFile file_;
    render::PdfDocument document_;
    int dotsPerInch_;
    bool closed_ = false;
};

PortOpening PdfEntry::open(const PortContext& port) const {
    const auto file = port.outputPath(output);
    if (!file) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    auto temporary = makeFolders(file->parent_path()) ? TemporaryFile::createFor(*file) : std::nullopt;
    if (!temporary) {
        return {resultCodeOf(ErrorNumber::PortCannotBeOpened), nullptr};
    }
    return {kSuccess, std::make_unique<PdfPrinter>(std::move(*temporary), dotsPerInch)};
}

}  // namespace

namespace printer_kinds {

std::unique_ptr<const PrinterEntry> readPdfEntry(const Json& entry) {
    auto pdfEntry = std::make_unique<PdfEntry>();
    pdfEntry->output = readListedFile(json_reading::member(entry, "output"));
    pdfEntry->dotsPerInch = readDotsPerInch(entry);
    return pdfEntry;
}

}  // namespace printer_kinds
}  // namespace bcpctrl
