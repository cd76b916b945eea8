// SPDX-License-Identifier: MIT
#include "printers/cups/batch.h"

#include <cmath>
#include <cstring>

namespace bcpctrl::printers::cups {
namespace {

constexpr double kPointsPerInch = 72.0;

std::size_t bytesPerRow(int widthDots) { return static_cast<std::size_t>(widthDots + 7) / 8; }

// A picture the printer can take: at the resolution asked for, with every row present.
bool isWhole(const render::Raster& picture, int dotsPerInch) {
    return picture.dotsPerInch == dotsPerInch && picture.widthDots > 0 && picture.heightDots > 0 &&
           picture.strideBytes >= bytesPerRow(picture.widthDots) &&
           picture.bits.size() >= picture.strideBytes * static_cast<std::size_t>(picture.heightDots);
}

void copyString(char* target, std::size_t size, const std::string& text) {
    std::strncpy(target, text.c_str(), size - 1);
    target[size - 1] = '\0';
}

void setPageGeometry(cups_page_header2_t& header, const render::Raster& picture) {
    const double widthPt = picture.widthDots * kPointsPerInch / picture.dotsPerInch;
    const double heightPt = picture.heightDots * kPointsPerInch / picture.dotsPerInch;
    header.HWResolution[0] = header.HWResolution[1] = static_cast<unsigned>(picture.dotsPerInch);
    header.PageSize[0] = static_cast<unsigned>(std::lround(widthPt));
    header.PageSize[1] = static_cast<unsigned>(std::lround(heightPt));
    header.cupsPageSize[0] = static_cast<float>(widthPt);
    header.cupsPageSize[1] = static_cast<float>(heightPt);
    header.ImagingBoundingBox[0] = header.ImagingBoundingBox[1] = 0;
    header.ImagingBoundingBox[2] = header.PageSize[0];
    header.ImagingBoundingBox[3] = header.PageSize[1];
    header.cupsImagingBBox[0] = header.cupsImagingBBox[1] = 0.0f;
    header.cupsImagingBBox[2] = header.cupsPageSize[0];
    header.cupsImagingBBox[3] = header.cupsPageSize[1];
    header.Margins[0] = header.Margins[1] = 0;
    header.cupsWidth = static_cast<unsigned>(picture.widthDots);
    header.cupsHeight = static_cast<unsigned>(picture.heightDots);
    header.cupsBitsPerColor = 1;
    header.cupsBitsPerPixel = 1;
    header.cupsNumColors = 1;
    header.cupsBytesPerLine = static_cast<unsigned>(bytesPerRow(picture.widthDots));
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = CUPS_CSPACE_K;
}

std::string titleFor(int firstLabelNumber, int labels) {
    if (labels == 1) return "label " + std::to_string(firstLabelNumber);
    return "labels " + std::to_string(firstLabelNumber) + "-" + std::to_string(firstLabelNumber + labels - 1);
}

}  // namespace

LabelBatch::LabelBatch(const QueueProfile& queue, int copies, bool cut, std::size_t inMemoryBytes)
    : queue_(queue), copies_(copies), cut_(cut), bytes_(inMemoryBytes) {
    if (queue_.kind == DocumentKind::Pdf) return;
    documentStarts_.push_back(0);
    const cups_mode_t mode = queue_.kind == DocumentKind::PwgRaster ? CUPS_RASTER_WRITE_PWG : CUPS_RASTER_WRITE_COMPRESSED;
    writer_.reset(cupsRasterOpenIO(appendToDocument, this, mode));
}

ssize_t LabelBatch::appendToDocument(void* batch, unsigned char* bytes, size_t length) {
    const bool taken = static_cast<LabelBatch*>(batch)->bytes_.append({reinterpret_cast<const char*>(bytes), length});
    return taken ? static_cast<ssize_t>(length) : -1;
}

std::optional<ErrorNumber> LabelBatch::add(const LabelToPrint& label, const LabelPictures& pictures) {
    if (labels_ == 0) media_ = queue_.mediaNameFor(label.format.widthMm, label.format.heightMm);
    if (queue_.kind != DocumentKind::Pdf) return addRaster(label, pictures);
    const std::size_t start = bytes_.size();
    if (!bytes_.append(pictures.pdf(label))) return ErrorNumber::WriteFailed;
    documentStarts_.push_back(start);
    ++labels_;
    return std::nullopt;
}

void LabelBatch::dropLast() {
    if (labels_ == 0) return;
    --labels_;
    if (queue_.kind == DocumentKind::Pdf) {
        bytes_.truncate(documentStarts_.back());
        documentStarts_.pop_back();
    } else {
        bytes_.truncate(lastLabelStart_);  // each page stands on its own after its header
    }
}

std::optional<ErrorNumber> LabelBatch::addRaster(const LabelToPrint& label, const LabelPictures& pictures) {
    const render::Raster picture = pictures.raster(label, queue_.dotsPerInch);
    if (!isWhole(picture, queue_.dotsPerInch)) return ErrorNumber::FormatLayoutError;
    if (!writer_) return ErrorNumber::WriteFailed;  // its first bytes found no room
    lastLabelStart_ = bytes_.size();
    if (!writePage(label, picture)) {
        bytes_.truncate(lastLabelStart_);
        return ErrorNumber::WriteFailed;
    }
    ++labels_;
    return std::nullopt;
}

bool LabelBatch::writePage(const LabelToPrint& label, const render::Raster& picture) {
    cups_page_header2_t header = pageHeader(label, picture);
    if (cupsRasterWriteHeader2(writer_.get(), &header) == 0) return false;
    // Dots past the label's width in the last byte of a row stay white.
    const std::size_t rowBytes = header.cupsBytesPerLine;
    const int dotsInLastByte = (picture.widthDots - 1) % 8 + 1;
    const auto lastByteMask = static_cast<unsigned char>(0xFFu << (8 - dotsInLastByte));
    std::vector<unsigned char> row(rowBytes);
    for (int y = 0; y < picture.heightDots; ++y) {
        const auto* source = picture.bits.data() + static_cast<std::size_t>(y) * picture.strideBytes;
        std::memcpy(row.data(), source, rowBytes);
        row.back() &= lastByteMask;
        if (cupsRasterWritePixels(writer_.get(), row.data(), static_cast<unsigned>(rowBytes)) != rowBytes) {
            return false;
        }
    }
    return true;
}

cups_page_header2_t LabelBatch::pageHeader(const LabelToPrint& label, const render::Raster& picture) const {
    cups_page_header2_t header{};
    const std::string media = queue_.mediaNameFor(label.format.widthMm, label.format.heightMm);
    if (queue_.kind == DocumentKind::PwgRaster) {
        pwg_media_t* size = pwgMediaForSize(static_cast<int>(std::lround(label.format.widthMm * 100)),
                                            static_cast<int>(std::lround(label.format.heightMm * 100)));
        cupsRasterInitPWGHeader(&header, size, "black_1", queue_.dotsPerInch, queue_.dotsPerInch, "one-sided",
                                nullptr);
    } else {
        header = queue_.driverHeader;
        header.NumCopies = static_cast<unsigned>(copies_);  // the label driver prints them (^PQ)
    }
    header.CutMedia = cut_ ? CUPS_CUT_PAGE : CUPS_CUT_NONE;
    copyString(header.cupsPageSizeName, sizeof header.cupsPageSizeName, media);
    setPageGeometry(header, picture);
    return header;
}

bool LabelBatch::readDocument(std::size_t index, const std::function<bool(std::string_view)>& take) const {
    if (index >= documentStarts_.size()) return false;
    const std::size_t end = index + 1 < documentStarts_.size() ? documentStarts_[index + 1] : bytes_.size();
    return bytes_.read(documentStarts_[index], end, take);
}

JobTicket LabelBatch::ticket(int firstLabelNumber) const {
    JobTicket ticket{titleFor(firstLabelNumber, labels_), documentFormatOf(queue_.kind), {}};
    if (queue_.kind == DocumentKind::CupsRaster) return ticket;  // copies and cut travel in the page headers
    if (copies_ > 1 && queue_.takesCopies) {
        ticket.attributes.emplace_back("copies", std::to_string(copies_));
        ticket.attributes.emplace_back("multiple-document-handling", "separate-documents-uncollated-copies");
    }
    if (cut_ && queue_.trimsAfterPages) ticket.attributes.emplace_back("finishings", "61");
    if (queue_.printsUnscaled) ticket.attributes.emplace_back("print-scaling", "none");
    ticket.attributes.emplace_back("media", media_);
    return ticket;
}

}  // namespace bcpctrl::printers::cups
