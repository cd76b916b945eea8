// SPDX-License-Identifier: MIT
// What a CUPS queue takes: the kind of document its driver wants, the resolution a label is
// drawn at, the page header its driver expects and the media it lists. Read once at
// OpenPort from the queue's PPD, or from its IPP attributes when it has none.
#pragma once

#include <cups/raster.h>

#include <string>
#include <vector>

#include "core/results.h"
#include "printers/cups/ipp.h"

namespace bcpctrl::printers::cups {

enum class DocumentKind {
    CupsRaster,  // PPD queues whose driver reads 1-bit CUPS raster (CUPS's label driver)
    PwgRaster,   // IPP Everywhere queues
    Pdf,         // every other queue: its own filters turn the page into what it prints
};

struct MediaSize {
    std::string name;
    double widthMm = 0.0;
    double heightMm = 0.0;
};

struct QueueProfile {
    QueueAddress address;
    DocumentKind kind = DocumentKind::Pdf;
    int dotsPerInch = 0;  // raster kinds: labels are drawn at exactly this resolution
    // CUPS raster: the page header the PPD's defaults give (darkness, label top, media
    // type...), which the driver reads back from every page.
    cups_page_header2_t driverHeader{};
    std::vector<MediaSize> media;    // the sizes the queue lists
    bool takesCopies = false;        // copies-supported goes beyond 1
    bool trimsAfterPages = false;    // finishings-supported has trim-after-pages
    bool printsUnscaled = false;     // print-scaling-supported has none

    // The queue's own name for a size within half a millimetre of the label, otherwise a
    // custom size of exactly the label ("custom_60x40mm_60x40mm").
    std::string mediaNameFor(double widthMm, double heightMm) const;
};

// UnknownPrinterName for a queue cupsd does not know, WriteFailed for one that does not
// accept jobs, CommunicationError when cupsd does not answer.
Outcome<QueueProfile> inspectQueue(Connection& connection, const std::string& queueName);

// The document format (MIME type) each kind is sent as.
const char* documentFormatOf(DocumentKind kind);

}  // namespace bcpctrl::printers::cups
