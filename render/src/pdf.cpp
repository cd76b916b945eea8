// SPDX-License-Identifier: MIT
#include "render/pdf.h"

#include <cairo-pdf.h>

#include "handles.h"
#include "paint.h"

namespace render {

struct PdfDocument::Surface {
    SurfaceHandle surface;
};

namespace {

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PdfDocument::Sink*>(closure);
    const bool written = (*sink)(std::string_view(reinterpret_cast<const char*>(data), length));
    return written ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

PdfDocument::PdfDocument(Sink sink) : sink_(std::move(sink)) {}

PdfDocument::~PdfDocument() = default;

bool PdfDocument::addPage(const LabelLayout& layout, const PaintOptions& options) {
    if (failed_) return false;
    if (!surface_) {
        surface_ = std::make_unique<Surface>(Surface{SurfaceHandle(cairo_pdf_surface_create_for_stream(
            writeToSink, &sink_, layout.pageWidthPt(), layout.pageHeightPt()))});
    } else {
        cairo_pdf_surface_set_size(surface_->surface.get(), layout.pageWidthPt(), layout.pageHeightPt());
    }
    const CairoHandle cr(cairo_create(surface_->surface.get()));
    cairo_scale(cr.get(), 72.0 / layout.dotsPerInch, 72.0 / layout.dotsPerInch);
    paintLayer(cr.get(), layout, options.layer, GlyphDrawing::Outlines);
    if (options.grid) paintGrid(cr.get(), layout);
    cairo_show_page(cr.get());
    failed_ = cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS ||
              cairo_surface_status(surface_->surface.get()) != CAIRO_STATUS_SUCCESS;
    if (cairo_status(cr.get()) == CAIRO_STATUS_NO_MEMORY ||
        cairo_surface_status(surface_->surface.get()) == CAIRO_STATUS_NO_MEMORY) {
        throw std::bad_alloc();  // no write that failed: nothing the printer could answer
    }
    if (!failed_) ++pages_;
    return !failed_;
}

bool PdfDocument::finish() {
    if (surface_ && !failed_) {
        cairo_surface_finish(surface_->surface.get());
        failed_ = cairo_surface_status(surface_->surface.get()) != CAIRO_STATUS_SUCCESS;
    }
    surface_.reset();
    return !failed_;
}

std::string labelPdf(const LabelLayout& layout, const PaintOptions& options) {
    std::string pdf;
    PdfDocument document([&pdf](std::string_view bytes) {
        pdf.append(bytes);
        return true;
    });
    document.addPage(layout, options);
    document.finish();
    return pdf;
}

}  // namespace render
