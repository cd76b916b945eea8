// SPDX-License-Identifier: MIT
#include "device_output.h"

#include <cups/raster.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "render/layout.h"

namespace testing_support {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;

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

// A valid one-page PDF of the given size with nothing drawn on it: the objects one after
// another, and their offsets in the cross-reference table readers find them by.
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

int hexValue(char digit) {
    return std::isdigit(static_cast<unsigned char>(digit)) ? digit - '0' : digit - 'A' + 10;
}

// ZPL's graphic field compression: G..Y repeat the next digit 1..19 times, g..z 20..400
// times (counts add up), "," ends a row with zeros, "!" with ones, ":" repeats the row above.
std::vector<std::uint8_t> decodeGraphic(std::string_view data, std::size_t rowBytes, std::size_t rows) {
    const std::size_t rowDigits = rowBytes * 2;
    std::string digits;
    std::string previousRow(rowDigits, '0');
    std::size_t count = 0;
    const auto endRow = [&](char fill) {
        const std::size_t start = digits.size() - digits.size() % rowDigits;
        digits.resize(start + rowDigits, fill);
        previousRow = digits.substr(start);
    };
    for (const char c : data) {
        if (c >= 'G' && c <= 'Y') {
            count += static_cast<std::size_t>(c - 'F');
        } else if (c >= 'g' && c <= 'z') {
            count += static_cast<std::size_t>(c - 'f') * 20;
        } else if (c == ',' || c == '!') {
            endRow(c == ',' ? '0' : 'F');
        } else if (c == ':') {
            digits += previousRow;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.append(count == 0 ? 1 : count, static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            count = 0;
            if (digits.size() % rowDigits == 0) previousRow = digits.substr(digits.size() - rowDigits);
        }
    }
    std::vector<std::uint8_t> bits;
    for (std::size_t index = 0; index + 1 < digits.size() && bits.size() < rowBytes * rows; index += 2) {
        bits.push_back(static_cast<std::uint8_t>(hexValue(digits[index]) * 16 + hexValue(digits[index + 1])));
    }
    return bits;
}

ssize_t readFromString(void* context, unsigned char* buffer, size_t length) {
    auto* rest = static_cast<std::string_view*>(context);
    const std::size_t taken = std::min(length, rest->size());
    std::memcpy(buffer, rest->data(), taken);
    rest->remove_prefix(taken);
    return static_cast<ssize_t>(taken);
}

}  // namespace

std::vector<DecodedLabel> decodeZplLabels(const std::string& zpl) {
    std::vector<DecodedLabel> labels;
    for (std::size_t at = zpl.find("~DG"); at != std::string::npos; at = zpl.find("~DG", at + 3)) {
        std::size_t total = 0;
        std::size_t rowBytes = 0;
        if (std::sscanf(zpl.c_str() + at, "~DGR:CUPS.GRF,%zu,%zu,", &total, &rowBytes) != 2 || rowBytes == 0) continue;
        const std::size_t dataStart = zpl.find('\n', at) + 1;
        const std::size_t dataEnd = zpl.find('^', dataStart);
        const std::size_t next = zpl.find("~DG", dataStart);
        if (dataEnd == std::string::npos || zpl.find("^XZ", dataEnd) == std::string::npos) break;
        DecodedLabel label;
        label.picture.strideBytes = rowBytes;
        label.picture.widthDots = static_cast<int>(rowBytes * 8);
        label.picture.heightDots = static_cast<int>(total / rowBytes);
        label.picture.bits = decodeGraphic(std::string_view(zpl).substr(dataStart, dataEnd - dataStart), rowBytes,
                                           total / rowBytes);
        const std::string commands = zpl.substr(dataEnd, next == std::string::npos ? std::string::npos : next - dataEnd);
        if (const std::size_t quantity = commands.find("^PQ"); quantity != std::string::npos) {
            label.copies = std::atoi(commands.c_str() + quantity + 3);
        }
        label.cut = commands.find("^CN1") != std::string::npos;
        if (label.picture.bits.size() == total) labels.push_back(std::move(label));
    }
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

std::string PatternPictures::pdf(const bcpctrl::LabelToPrint& label) const {
    pdfs.push_back(blankPdfPage(label.format.widthMm, label.format.heightMm) + "% label " +
                   std::to_string(pdfs.size() + 1) + "\n");
    return pdfs.back();
}

}  // namespace testing_support
