// SPDX-License-Identifier: MIT
#include "core/label_pictures.h"

#include "render/pdf.h"

namespace bcpctrl {
namespace {

class DrawnLabelPictures final : public LabelPictures {
public:
    render::Raster raster(const LabelToPrint& label, int dotsPerInch) const override {
        return label.renderer.paint(label.renderer.layOut(label.content, dotsPerInch));
    }
    // Bars sit on the dots of the lowest resolution of label printers; the spooler's
    // filters draw the page at the printer's own.
    std::string pdf(const LabelToPrint& label) const override {
        return render::labelPdf(label.renderer.layOut(label.content, render::kDefaultDotsPerInch));
    }
};

}  // namespace

std::shared_ptr<const LabelPictures> drawnLabelPictures() { return std::make_shared<DrawnLabelPictures>(); }

}  // namespace bcpctrl
