// SPDX-License-Identifier: MIT
#include "bcpctrl/label_pictures.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace bcpctrl {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;

class BlankLabelPictures final : public LabelPictures {
public:
    render::Raster raster(const LabelToPrint& label, int dotsPerInch) const override {
        return render::Raster::blank(dotsFor(label.format.widthMm, dotsPerInch),
                                     dotsFor(label.format.heightMm, dotsPerInch), dotsPerInch);
    }
    std::string pdf(const LabelToPrint& label) const override {
        return blankPdfPage(label.format.widthMm, label.format.heightMm);
    }
};

std::string pdfNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string offsetEntry(std::size_t offset) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    return entry;
}

}  // namespace

int dotsFor(double mm, int dotsPerInch) {
    return static_cast<int>(std::lround(mm / kMmPerInch * dotsPerInch));
}

std::shared_ptr<const LabelPictures> blankLabelPictures() { return std::make_shared<BlankLabelPictures>(); }

// Objects are written one after another and their offsets kept for the cross-reference
// table, which readers need to find them.
std::string blankPdfPage(double widthMm, double heightMm) {
    const std::string mediaBox = "[0 0 " + pdfNumber(widthMm / kMmPerInch * kPointsPerInch) + " " +
                                 pdfNumber(heightMm / kMmPerInch * kPointsPerInch) + "]";
    const std::vector<std::string> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox " + mediaBox + " /Contents 4 0 R /Resources << >> >>",
        "<< /Length 0 >>\nstream\n\nendstream",
    };
    std::string pdf = "%PDF-1.4\n";
    std::string crossReference = "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t index = 0; index < objects.size(); ++index) {
        crossReference += offsetEntry(pdf.size());
        pdf += std::to_string(index + 1) + " 0 obj\n" + objects[index] + "\nendobj\n";
    }
    const std::size_t crossReferenceOffset = pdf.size();
    pdf += crossReference;
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(crossReferenceOffset) + "\n%%EOF\n";
    return pdf;
}

}  // namespace bcpctrl
