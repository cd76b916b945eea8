// SPDX-License-Identifier: MIT
// PPD files are how CUPS 2 describes driver queues; libcups marks that interface
// deprecated, so this file alone silences the warning for it.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "printers/cups/queue.h"

#include <cups/ppd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

#include "render/free_with.h"

namespace bcpctrl::printers::cups {
namespace {

constexpr const char* kCupsRasterFormat = "application/vnd.cups-raster";
constexpr const char* kPwgRasterFormat = "image/pwg-raster";
constexpr const char* kPdfFormat = "application/pdf";
constexpr const char* kBlackOneBit = "black_1";
constexpr int kTrimAfterPages = 61;  // finishings enum value
constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kSameSizeMm = 0.5;

using PpdFile = std::unique_ptr<ppd_file_t, render::FreeWith<ppdClose>>;

// The PPD is fetched into a temporary file, which goes as soon as it has been read. It is
// asked for on this very connection: libcups's own PPD calls may reach for another server.
struct PpdFetch {
    http_status_t status = HTTP_STATUS_ERROR;
    PpdFile ppd;
};

PpdFetch fetchPpd(Connection& connection, const QueueAddress& address) {
    http_t* http = connection.http();
    if (http == nullptr) return {};
    char file[1024];
    const int fd = cupsTempFd(file, sizeof file);
    if (fd < 0) return {};
    const http_status_t status = cupsGetFd(http, (address.resource + ".ppd").c_str(), fd);
    PpdFile ppd;
    if (status == HTTP_STATUS_OK && ::lseek(fd, 0, SEEK_SET) == 0) ppd.reset(ppdOpenFd(fd));
    ::close(fd);
    ::unlink(file);
    return {status, std::move(ppd)};
}

// The source MIME types of the queue's filters ("*cupsFilter: src cost program" and
// "*cupsFilter2: src dst cost program").
std::vector<std::string> filterSources(ppd_file_t* ppd) {
    std::vector<std::string> sources;
    const auto firstWord = [](const char* line) {
        std::istringstream words(line != nullptr ? line : "");
        std::string word;
        words >> word;
        return word;
    };
    for (int index = 0; index < ppd->num_filters; ++index) sources.push_back(firstWord(ppd->filters[index]));
    for (ppd_attr_t* filter = ppdFindAttr(ppd, "cupsFilter2", nullptr); filter != nullptr;
         filter = ppdFindNextAttr(ppd, "cupsFilter2", nullptr)) {
        sources.push_back(firstWord(filter->value));
    }
    return sources;
}

bool contains(const std::vector<std::string>& values, std::string_view wanted) {
    return std::find(values.begin(), values.end(), wanted) != values.end();
}

bool isOneBitBlack(const cups_page_header2_t& header) {
    return header.cupsBitsPerColor == 1 && header.cupsColorSpace == CUPS_CSPACE_K;
}

bool isSquare(const cups_page_header2_t& header) { return header.HWResolution[0] == header.HWResolution[1]; }

bool takesOneBitPwg(ipp_t* attributes) {
    return contains(keywords(attributes, "document-format-supported"), kPwgRasterFormat) &&
           contains(keywords(attributes, "pwg-raster-document-type-supported"), kBlackOneBit);
}

void readPpd(ppd_file_t* ppd, ipp_t* attributes, QueueProfile& profile) {
    ppdMarkDefaults(ppd);
    for (int index = 0; index < ppd->num_sizes; ++index) {
        const ppd_size_t& size = ppd->sizes[index];
        profile.media.push_back({size.name, size.width / kPointsPerMm, size.length / kPointsPerMm});
    }
    const auto sources = filterSources(ppd);
    cups_page_header2_t header{};
    const bool interpreted = cupsRasterInterpretPPD(&header, ppd, 0, nullptr, nullptr) == 0 && isSquare(header);
    if (!interpreted) return;  // no usable resolution: the queue rasterizes a PDF itself
    if (contains(sources, kPwgRasterFormat) && takesOneBitPwg(attributes)) {
        profile.kind = DocumentKind::PwgRaster;
    } else if (contains(sources, kCupsRasterFormat) && isOneBitBlack(header)) {
        profile.kind = DocumentKind::CupsRaster;
        profile.driverHeader = header;
    } else {
        return;
    }
    profile.dotsPerInch = static_cast<int>(header.HWResolution[0]);
}

// A driverless queue without a PPD takes PWG raster when it lists a square resolution
// for it and 1-bit black pages.
void readDriverlessAttributes(ipp_t* attributes, QueueProfile& profile) {
    for (const std::string& keyword : keywords(attributes, "media-supported")) {
        if (const pwg_media_t* size = pwgMediaForPWG(keyword.c_str())) {
            profile.media.push_back({keyword, size->width / 100.0, size->length / 100.0});
        }
    }
    ipp_attribute_t* resolutions = ippFindAttribute(attributes, "pwg-raster-document-resolution-supported",
                                                    IPP_TAG_RESOLUTION);
    const bool takesPwg = takesOneBitPwg(attributes);
    for (int index = 0; takesPwg && resolutions != nullptr && index < ippGetCount(resolutions); ++index) {
        int yDots = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        const int xDots = ippGetResolution(resolutions, index, &yDots, &units);
        if (xDots == yDots && units == IPP_RES_PER_INCH) {
            profile.kind = DocumentKind::PwgRaster;
            profile.dotsPerInch = xDots;
            return;
        }
    }
}

void readJobAbilities(ipp_t* attributes, QueueProfile& profile) {
    ipp_attribute_t* copies = ippFindAttribute(attributes, "copies-supported", IPP_TAG_RANGE);
    int upper = 1;
    if (copies != nullptr) ippGetRange(copies, 0, &upper);
    profile.takesCopies = upper > 1;
    ipp_attribute_t* finishings = ippFindAttribute(attributes, "finishings-supported", IPP_TAG_ENUM);
    for (int index = 0; finishings != nullptr && index < ippGetCount(finishings); ++index) {
        profile.trimsAfterPages = profile.trimsAfterPages || ippGetInteger(finishings, index) == kTrimAfterPages;
    }
    profile.printsUnscaled = contains(keywords(attributes, "print-scaling-supported"), "none");
}

Exchange queueAttributes(Connection& connection, const QueueAddress& address) {
    IppMessage request = newRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, address);
    requestAttributes(request.get(), {"printer-is-accepting-jobs", "document-format-supported", "media-supported",
                                      "pwg-raster-document-resolution-supported",
                                      "pwg-raster-document-type-supported", "copies-supported",
                                      "finishings-supported", "print-scaling-supported"});
    return exchange(connection, std::move(request), address.resource);
}

bool acceptsJobs(ipp_t* attributes) {
    ipp_attribute_t* accepting = ippFindAttribute(attributes, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    return accepting == nullptr || ippGetBoolean(accepting, 0) != 0;
}

}  // namespace

std::string QueueProfile::mediaNameFor(double widthMm, double heightMm) const {
    const auto same = [&](const MediaSize& size) {
        return std::abs(size.widthMm - widthMm) <= kSameSizeMm && std::abs(size.heightMm - heightMm) <= kSameSizeMm;
    };
    const auto listed = std::find_if(media.begin(), media.end(), same);
    if (listed != media.end()) return listed->name;
    char name[128];
    pwgFormatSizeName(name, sizeof name, "custom", nullptr, static_cast<int>(std::lround(widthMm * 100)),
                      static_cast<int>(std::lround(heightMm * 100)), nullptr);
    return name;
}

Outcome<QueueProfile> inspectQueue(Connection& connection, const std::string& queueName) {
    QueueProfile profile;
    profile.address = queueAddress(queueName);
    Exchange attributes = queueAttributes(connection, profile.address);
    if (attributes.refusal) return attributes.refusal->error;
    if (!acceptsJobs(attributes.response.get())) return ErrorNumber::WriteFailed;
    readJobAbilities(attributes.response.get(), profile);
    const PpdFetch fetched = fetchPpd(connection, profile.address);
    if (fetched.status == HTTP_STATUS_ERROR) {
        connection.drop();
        return ErrorNumber::CommunicationError;
    }
    if (fetched.status != HTTP_STATUS_OK) {
        readDriverlessAttributes(attributes.response.get(), profile);  // the queue has no PPD
    } else if (fetched.ppd) {
        readPpd(fetched.ppd.get(), attributes.response.get(), profile);
    }
    return profile;
}

const char* documentFormatOf(DocumentKind kind) {
    switch (kind) {
        case DocumentKind::CupsRaster: return kCupsRasterFormat;
        case DocumentKind::PwgRaster: return kPwgRasterFormat;
        case DocumentKind::Pdf: return kPdfFormat;
    }
    return kPdfFormat;
}

}  // namespace bcpctrl::printers::cups
