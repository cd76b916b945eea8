// SPDX-License-Identifier: MIT
// Labels that go to a CUPS queue as one job: pages of one raster document, or one PDF
// document each. Every added label leaves a complete document behind, so a batch can be
// sent after any label.
#pragma once

#include <cups/raster.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bcpctrl/label_pictures.h"
#include "cups_ipp.h"
#include "cups_queue.h"

namespace bcpctrl::cups {

class LabelBatch {
public:
    // Copies and cut are the job's own attributes on queues that take them as such, so a
    // batch holds labels of one setting.
    LabelBatch(const QueueProfile& queue, int copies, bool cut);
    LabelBatch(const LabelBatch&) = delete;
    LabelBatch& operator=(const LabelBatch&) = delete;

    bool holds(int copies, bool cut) const { return copies == copies_ && cut == cut_; }
    int labels() const { return labels_; }
    int copies() const { return copies_; }

    // Draws the label and adds it; LayoutError when the picture is not the one asked for.
    std::optional<ErrorNumber> add(const LabelToPrint& label, const LabelPictures& pictures);
    // Takes the label added last out again (it was not handed over after all).
    void dropLast();

    JobTicket ticket(int firstLabelNumber) const;
    const std::vector<std::string>& documents() const { return documents_; }

private:
    struct RasterCloser {
        void operator()(cups_raster_t* raster) const { cupsRasterClose(raster); }
    };
    static ssize_t appendToDocument(void* batch, unsigned char* bytes, size_t length);

    std::optional<ErrorNumber> addRaster(const LabelToPrint& label, const LabelPictures& pictures);
    bool writePage(const LabelToPrint& label, const render::Raster& picture);
    cups_page_header2_t pageHeader(const LabelToPrint& label, const render::Raster& picture) const;

    const QueueProfile& queue_;
    int copies_ = 1;
    bool cut_ = false;
    int labels_ = 0;
    std::string media_;  // the first label's size names the job's media
    std::vector<std::string> documents_;
    std::size_t lastLabelStart_ = 0;
    std::unique_ptr<cups_raster_t, RasterCloser> writer_;  // raster kinds: writes into documents_[0]
};

}  // namespace bcpctrl::cups
