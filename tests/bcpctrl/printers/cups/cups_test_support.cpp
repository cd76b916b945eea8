// SPDX-License-Identifier: MIT
#include "cups_test_support.h"

#include <fstream>
#include <iterator>
#include <memory>

namespace cups_testing {
namespace {

// A PPD for a printer that takes `format` as it is: the one filter copies the document
// (CUPS writes nothing to a file: device when no filter runs at all).
std::string passThroughPpd(const std::string& format) {
    return R"PPD(*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "passthru.ppd"
*Manufacturer: "Test"
*Product: "(Label)"
*ModelName: "Pass Through"
*ShortNickName: "Pass Through"
*NickName: "Pass Through"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsLanguages: "en"
*cupsFilter2: ")PPD" + format + " " + format + R"PPD( 0 gziptoany"
*OpenUI *PageSize: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: w144h72
*PageSize w144h72/2x1in: "<</PageSize[144 72]>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: w144h72
*PageRegion w144h72/2x1in: "<</PageSize[144 72]>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: w144h72
*ImageableArea w144h72: "0 0 144 72"
*DefaultPaperDimension: w144h72
*PaperDimension w144h72: "144 72"
*OpenUI *Resolution: PickOne
*OrderDependency: 10 AnySetup *Resolution
*DefaultResolution: 300dpi
*Resolution 300dpi: "<</HWResolution[300 300]>>setpagedevice"
*CloseUI: *Resolution
)PPD";
}

// The sample driver's PPD as cupsd made it for `from`, with another default resolution, as
// `lpadmin -o Resolution=300dpi` leaves it.
void addZebraQueueAt(testing_support::PrivateCupsd& cupsd, const std::string& from, const std::string& name,
                     const std::string& resolution) {
    std::ifstream made(cupsd.folder() / "root" / "ppd" / (from + ".ppd"));
    std::string ppd{std::istreambuf_iterator<char>(made), {}};
    const std::string line = "*DefaultResolution: ";
    const std::size_t at = ppd.find(line);
    if (at != std::string::npos) ppd.replace(at + line.size(), ppd.find('\n', at) - at - line.size(), resolution);
    const auto file = cupsd.folder() / (name + ".ppd");
    std::ofstream(file) << ppd;
    cupsd.addQueue(name, file.string());
}

std::unique_ptr<testing_support::PrivateCupsd> startWithQueues() {
    auto cupsd = std::make_unique<testing_support::PrivateCupsd>(kMaxJobsPerPrinter, kMaxJobs);
    if (!cupsd->unavailable().empty()) return cupsd;
    cupsd->addQueue(kZebraQueue, "drv:///sample.drv/zebra.ppd");
    addZebraQueueAt(*cupsd, kZebraQueue, kZebra300Queue, "300dpi");
    addPassThroughQueue(*cupsd, kPwgQueue, "image/pwg-raster");
    addPassThroughQueue(*cupsd, kPdfQueue, "application/pdf");
    cupsd->addQueue(kClosedQueue, "");
    cupsd->rejectJobs(kClosedQueue);
    return cupsd;
}

}  // namespace

void addPassThroughQueue(testing_support::PrivateCupsd& cupsd, const std::string& name, const std::string& format) {
    const auto ppd = cupsd.folder() / (name + ".ppd");
    std::ofstream(ppd) << passThroughPpd(format);
    cupsd.addQueue(name, ppd.string());
}

testing_support::PrivateCupsd& sharedCupsd() {
    static const std::unique_ptr<testing_support::PrivateCupsd> cupsd = startWithQueues();
    return *cupsd;
}

}  // namespace cups_testing
