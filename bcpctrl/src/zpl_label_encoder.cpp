// SPDX-License-Identifier: MIT
#include "bcpctrl/zpl_label_encoder.h"

#include <utility>

namespace bcpctrl::zpl {
namespace {

class WholeLabelEncoder final : public LabelEncoder {
public:
    WholeLabelEncoder(std::shared_ptr<const LabelPictures> pictures, EncoderSettings settings)
        : pictures_(std::move(pictures)), settings_(settings) {}

    std::string encodeIssue(const LabelToPrint& label) override {
        const render::Raster raster = pictures_->raster(label, settings_.dotsPerInch);
        return formatStart(raster.widthDots, raster.heightDots) +
               graphicField(raster, FieldOrigin{}, settings_.compression) +
               formatEnd(label.copies, label.cut, settings_.printerHasCutter);
    }
    std::string endOfJob() override { return {}; }

private:
    std::shared_ptr<const LabelPictures> pictures_;
    EncoderSettings settings_;
};

}  // namespace

std::unique_ptr<LabelEncoder> makeWholeLabelEncoder(std::shared_ptr<const LabelPictures> pictures,
                                                    EncoderSettings settings) {
    return std::make_unique<WholeLabelEncoder>(std::move(pictures), settings);
}

}  // namespace bcpctrl::zpl
