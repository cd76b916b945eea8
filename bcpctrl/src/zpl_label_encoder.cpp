// SPDX-License-Identifier: MIT
#include "bcpctrl/zpl_label_encoder.h"

#include <utility>

namespace bcpctrl::zpl {
namespace {

class WholeLabelEncoder final : public LabelEncoder {
public:
    WholeLabelEncoder(DrawLabel draw, EncoderSettings settings) : draw_(std::move(draw)), settings_(settings) {}

    std::string encodeIssue(const LabelToPrint& label) override {
        const render::Raster raster = draw_(label, settings_.dotsPerInch);
        return formatStart(raster.widthDots, raster.heightDots) +
               graphicField(raster, FieldOrigin{}, settings_.compression) +
               formatEnd(label.copies, label.cut, settings_.printerHasCutter);
    }
    std::string endOfJob() override { return {}; }

private:
    DrawLabel draw_;
    EncoderSettings settings_;
};

}  // namespace

std::unique_ptr<LabelEncoder> makeWholeLabelEncoder(DrawLabel draw, EncoderSettings settings) {
    return std::make_unique<WholeLabelEncoder>(std::move(draw), settings);
}

}  // namespace bcpctrl::zpl
