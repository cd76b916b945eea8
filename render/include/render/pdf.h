// SPDX-License-Identifier: MIT
// Labels as PDF: one page per label at the label's size, text and barcodes as vectors,
// bars on the whole dots of the resolution the label was laid out at.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "render/layout.h"

namespace render {

class PdfDocument {
public:
    // Receives the file's bytes as they are made; false when they could not be written.
    using Sink = std::function<bool(std::string_view bytes)>;

    explicit PdfDocument(Sink sink);
    ~PdfDocument();
    PdfDocument(const PdfDocument&) = delete;
    PdfDocument& operator=(const PdfDocument&) = delete;

    // False once anything could not be written; later pages then write nothing.
    bool addPage(const LabelLayout& layout, const PaintOptions& options = {});
    // Writes the end of the file. A document without pages writes nothing at all.
    bool finish();
    int pageCount() const { return pages_; }

private:
    struct Surface;
    Sink sink_;
    std::unique_ptr<Surface> surface_;
    bool failed_ = false;
    int pages_ = 0;
};

// A one-page PDF of one label, in memory (for spoolers that take neither raster).
std::string labelPdf(const LabelLayout& layout, const PaintOptions& options = {});

}  // namespace render
