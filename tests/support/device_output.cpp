// SPDX-License-Identifier: MIT
#include "device_output.h"

#include <cups/raster.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "render/layout.h"
#include "zplsim/zpl_decoder.h"

namespace testing_support {
namespace {

render::Raster rasterOf(const zplsim::Bitmap& bitmap) {
    render::Raster raster;
    raster.widthDots = bitmap.widthDots;
    raster.heightDots = bitmap.heightDots;
    raster.strideBytes = bitmap.strideBytes;
    raster.bits = bitmap.bits;
    return raster;
}

ssize_t readFromString(void* context, unsigned char* buffer, size_t length) {
    auto* rest = static_cast<std::string_view*>(context);
    const std::size_t taken = std::min(length, rest->size());
    std::memcpy(buffer, rest->data(), taken);
    rest->remove_prefix(taken);
    return static_cast<ssize_t>(taken);
}

}  // namespace

// The driver stores each page as a graphic, prints it with ^XG in a format of its own, and
// sends ^CN1 after it when the page asks for a cut.
std::vector<DecodedLabel> decodeZplLabels(const std::string& zpl) {
    std::vector<DecodedLabel> labels;
    zplsim::DecoderEvents events;
    events.label = [&labels](zplsim::Label label) {
        if (!label.prints() || !label.fields.front().image) return;
        labels.push_back({rasterOf(*label.fields.front().image), label.copies, false});
    };
    events.cutNow = [&labels] {
        if (!labels.empty()) labels.back().cut = true;
    };
    zplsim::Decoder decoder(std::move(events));
    decoder.feed(zpl);
    decoder.finish();
    return labels;
}

// Several streams follow one another when every job sends its own; a PWG stream starts
// with its sync word and "PwgRaster". The reader buffers ahead, so each is read on its own.
std::vector<std::string_view> rasterStreams(const std::string& bytes) {
    std::vector<std::size_t> starts{0};
    for (std::size_t at = bytes.find("RaS2PwgRaster", 1); at != std::string::npos; at = bytes.find("RaS2PwgRaster", at + 1)) {
        starts.push_back(at);
    }
    std::vector<std::string_view> streams;
    for (std::size_t index = 0; index < starts.size(); ++index) {
        const std::size_t end = index + 1 < starts.size() ? starts[index + 1] : bytes.size();
        streams.push_back(std::string_view(bytes).substr(starts[index], end - starts[index]));
    }
    return streams;
}

std::vector<DecodedLabel> decodeRasterPages(const std::string& bytes) {
    std::vector<DecodedLabel> pages;
    for (std::string_view rest : rasterStreams(bytes)) {
        cups_raster_t* raster = cupsRasterOpenIO(readFromString, &rest, CUPS_RASTER_READ);
        if (raster == nullptr) continue;
        cups_page_header2_t header;
        while (cupsRasterReadHeader2(raster, &header)) {
            DecodedLabel page;
            page.picture.widthDots = static_cast<int>(header.cupsWidth);
            page.picture.heightDots = static_cast<int>(header.cupsHeight);
            page.picture.dotsPerInch = static_cast<int>(header.HWResolution[0]);
            page.picture.strideBytes = header.cupsBytesPerLine;
            page.picture.bits.resize(static_cast<std::size_t>(header.cupsBytesPerLine) * header.cupsHeight);
            const auto size = static_cast<unsigned>(page.picture.bits.size());
            if (cupsRasterReadPixels(raster, page.picture.bits.data(), size) != size) break;
            page.copies = static_cast<int>(header.NumCopies);
            page.cut = header.CutMedia != CUPS_CUT_NONE;
            pages.push_back(std::move(page));
        }
        cupsRasterClose(raster);
    }
    return pages;
}

bool samePicture(const render::Raster& drawn, const render::Raster& decoded) {
    if (drawn.heightDots != decoded.heightDots || decoded.widthDots < drawn.widthDots) return false;
    for (int y = 0; y < drawn.heightDots; ++y) {
        for (int x = 0; x < drawn.widthDots; ++x) {
            if (drawn.isBlack(x, y) != decoded.isBlack(x, y)) return false;
        }
    }
    return true;
}

render::Raster PatternPictures::raster(const bcpctrl::LabelToPrint& label, int dotsPerInch) const {
    render::Raster picture;
    picture.dotsPerInch = dotsPerInch;
    picture.widthDots = render::mmToDots(label.format.widthMm, dotsPerInch);
    picture.heightDots = render::mmToDots(label.format.heightMm, dotsPerInch);
    picture.strideBytes = static_cast<std::size_t>(picture.widthDots + 7) / 8 + 1;  // a spare byte, as renderers may keep
    picture.bits.assign(picture.strideBytes * static_cast<std::size_t>(picture.heightDots), 0xFF);  // padding set on purpose
    const auto found = label.values.find(1);
    const int barWidth = 1 + static_cast<int>((found == label.values.end() ? 0 : found->second.size()) % 5);
    for (int y = 0; y < picture.heightDots; ++y) {
        for (int x = 0; x < picture.widthDots; ++x) {
            const bool corner = x < 24 && y < 12;
            const bool bar = (x / barWidth) % 2 == 0 && y >= picture.heightDots / 2;
            if (!corner && !bar) {
                picture.bits[static_cast<std::size_t>(y) * picture.strideBytes + static_cast<std::size_t>(x) / 8] &=
                    static_cast<std::uint8_t>(~(0x80u >> (x % 8)));
            }
        }
    }
    drawn.push_back(picture);
    return picture;
}

std::string PatternPictures::pdf(const bcpctrl::LabelToPrint&) const { return {}; }

render::Raster KeptDrawnPictures::raster(const bcpctrl::LabelToPrint& label, int dotsPerInch) const {
    return drawn_->raster(label, dotsPerInch);
}

std::string KeptDrawnPictures::pdf(const bcpctrl::LabelToPrint& label) const {
    pdfs.push_back(drawn_->pdf(label));
    return pdfs.back();
}

}  // namespace testing_support
