// SPDX-License-Identifier: MIT
// Labels that go to a CUPS queue as one job: pages of one raster document, or one PDF
// document each. Every added label leaves a complete document behind, so a batch can be
// sent after any label. A batch's documents stay in memory while they are small and go to a
// temporary file beyond that, so a queue stopped for a long job does not fill the memory.
#pragma once

#include <cups/raster.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/label_pictures.h"
#include "printers/cups/ipp.h"
#include "printers/cups/queue.h"
#include "printers/cups/spill.h"
#include "render/free_with.h"

namespace bcpctrl::printers::cups {

class LabelBatch final : public JobDocuments {
public:
    // Copies and cut are the job's own attributes on queues that take them as such, so a
    // batch holds labels of one setting.
    LabelBatch(const QueueProfile& queue, int copies, bool cut, std::size_t inMemoryBytes = kHeldInMemoryBytes);
    LabelBatch(const LabelBatch&) = delete;
    LabelBatch& operator=(const LabelBatch&) = delete;

    bool holds(int copies, bool cut) const { return copies == copies_ && cut == cut_; }
    int labels() const { return labels_; }
    int copies() const { return copies_; }

    // Draws the label and adds it; LayoutError when the picture is not the one asked for,
    // WriteFailed when the temporary file does not take it (the batch is as it was).
    std::optional<ErrorNumber> add(const LabelToPrint& label, const LabelPictures& pictures);
    // Takes the label added last out again (it was not handed over after all).
    void dropLast();

    JobTicket ticket(int firstLabelNumber) const;
    std::size_t documentCount() const override { return documentStarts_.size(); }
    bool readDocument(std::size_t index, const std::function<bool(std::string_view)>& take) const override;

private:
    static ssize_t appendToDocument(void* batch, unsigned char* bytes, size_t length);

    std::optional<ErrorNumber> addRaster(const LabelToPrint& label, const LabelPictures& pictures);
    bool writePage(const LabelToPrint& label, const render::Raster& picture);
    cups_page_header2_t pageHeader(const LabelToPrint& label, const render::Raster& picture) const;

    const QueueProfile& queue_;
    int copies_ = 1;
    bool cut_ = false;
    int labels_ = 0;
    std::string media_;  // the first label's size names the job's media
    SpillingBytes bytes_;                     // the documents one after the other
    std::vector<std::size_t> documentStarts_;  // raster kinds: one document; PDF: one a label
    std::size_t lastLabelStart_ = 0;
    std::unique_ptr<cups_raster_t, render::FreeWith<cupsRasterClose>> writer_;  // raster kinds: writes into bytes_
};

}  // namespace bcpctrl::printers::cups
