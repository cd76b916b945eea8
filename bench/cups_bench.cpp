// SPDX-License-Identifier: MIT
// Labels through a private cupsd and CUPS's sample ZPL driver: the time from Issue to the
// label's arrival at the queue's device, labels per second through the control, and what
// one job per label costs against one job for many (the figures behind the batching).
#include <benchmark/benchmark.h>
#include <cups/cups.h>
#include <cups/raster.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "bcpctrl/bcp_ctrl.h"
#include "device_output.h"
#include "private_cupsd.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kQueue = "Label_Zebra";
constexpr int kDotsPerInch = 203;
// The sample receiving label, 100 x 70 mm.
constexpr const char* kFormat = R"({"usePrinter": 1, "label": {"widthMm": 100.0, "heightMm": 70.0}, "fields": [
  {"number": 1, "type": "text", "xMm": 1, "yMm": 1, "widthMm": 40, "heightMm": 5, "rotation": 0}]})";

long labelsIn(const std::string& zpl) {
    long count = 0;
    for (std::size_t at = zpl.find("^IDR:CUPS.GRF"); at != std::string::npos; at = zpl.find("^IDR:CUPS.GRF", at + 1)) {
        ++count;
    }
    return count;
}

// One cupsd with one ZPL queue and a system folder that lists it, for every benchmark.
struct Bench {
    Bench() : cupsd(std::make_unique<testing_support::PrivateCupsd>()) {
        if (!cupsd->unavailable().empty()) return;
        device = &cupsd->addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
        system = cupsd->folder() / "system";
        fs::create_directories(system / "formats");
        std::ofstream(system / "formats" / "LABEL.json") << kFormat;
        std::ofstream(system / "printers.json")
            << R"({"printers": {"Zebra": {"type": "cups", "queue": ")" << kQueue << R"(", "server": ")"
            << cupsd->socketPath() << R"("}}})";
    }
    bcpctrl::BcpCtrlOptions options() const {
        const std::string folder = system.string();
        bcpctrl::BcpCtrlOptions options;
        options.environment = [folder](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return folder;
            return std::nullopt;
        };
        options.pictures = std::make_shared<testing_support::PatternPictures>();
        return options;
    }
    bool waitForLabels(long count) const {
        return device->waitFor([count](const std::string& bytes) { return labelsIn(bytes) >= count; },
                               std::chrono::seconds(120));
    }

    std::unique_ptr<testing_support::PrivateCupsd> cupsd;
    testing_support::DeviceTap* device = nullptr;
    fs::path system;
};

Bench& bench() {
    static Bench shared;
    return shared;
}

struct Port {
    explicit Port(const Bench& b) : control(b.options()) {
        control.setUsePrinter(1);
        control.setPortSetting("DRV:Zebra");
        std::string format = "LABEL";
        control.LoadFormat(format, result);
        std::int16_t portCode = frame::kPortCodeDriver;
        control.OpenPort(portCode, result);
    }
    void issue() {
        std::string text = "4901234567894";
        control.SetField(1, text, result);
        control.Issue(1, 0, status, result);
    }
    ~Port() { control.ClosePort(result); }

    bcpctrl::BcpCtrl control;
    frame::ResultCode result = 0;
    std::string status;
};

bool skipped(benchmark::State& state) {
    if (bench().cupsd->unavailable().empty()) return false;
    state.SkipWithError(bench().cupsd->unavailable().c_str());
    return true;
}

// One label at a time on an idle queue: it goes as a job of its own at once.
void BM_IssueToDeviceFile(benchmark::State& state) {
    if (skipped(state)) return;
    Port port(bench());
    for (auto _ : state) {
        const long before = labelsIn(bench().device->bytes());
        const auto start = Clock::now();
        port.issue();
        if (port.result != 0 || !bench().waitForLabels(before + 1)) state.SkipWithError("the label did not arrive");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the queue is idle again
    }
}
BENCHMARK(BM_IssueToDeviceFile)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// A job's worth of labels issued as fast as the frame does, until the last one arrives.
void BM_LabelsPerSecondThroughTheControl(benchmark::State& state) {
    if (skipped(state)) return;
    const auto labels = state.range(0);
    for (auto _ : state) {
        const long before = labelsIn(bench().device->bytes());
        {
            Port port(bench());
            for (long label = 0; label < labels; ++label) port.issue();
        }
        if (!bench().waitForLabels(before + labels)) state.SkipWithError("labels did not arrive");
    }
    state.SetItemsProcessed(state.iterations() * labels);
}
BENCHMARK(BM_LabelsPerSecondThroughTheControl)->Arg(100)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);

// The same labels straight through libcups, one job per label or all in one job.
ssize_t append(void* document, unsigned char* bytes, size_t length) {
    static_cast<std::string*>(document)->append(reinterpret_cast<const char*>(bytes), length);
    return static_cast<ssize_t>(length);
}

std::string rasterDocument(int pages) {
    std::string document;
    cups_raster_t* raster = cupsRasterOpenIO(append, &document, CUPS_RASTER_WRITE_COMPRESSED);
    for (int page = 0; page < pages; ++page) {
        cups_page_header2_t header{};
        header.HWResolution[0] = header.HWResolution[1] = kDotsPerInch;
        header.cupsWidth = static_cast<unsigned>(render::mmToDots(100.0, kDotsPerInch));
        header.cupsHeight = static_cast<unsigned>(render::mmToDots(70.0, kDotsPerInch));
        header.PageSize[0] = header.cupsWidth * 72 / kDotsPerInch;
        header.PageSize[1] = header.cupsHeight * 72 / kDotsPerInch;
        header.cupsBitsPerColor = header.cupsBitsPerPixel = 1;
        header.cupsBytesPerLine = (header.cupsWidth + 7) / 8;
        header.cupsColorSpace = CUPS_CSPACE_K;
        header.NumCopies = 1;
        header.cupsRowStep = 200;
        header.AdvanceDistance = 1000;
        cupsRasterWriteHeader2(raster, &header);
        std::vector<unsigned char> row(header.cupsBytesPerLine, 0);
        for (unsigned y = 0; y < header.cupsHeight; ++y) {
            std::memset(row.data(), (y / 8) % 2 ? 0xF0 : 0x00, row.size() / 2);
            cupsRasterWritePixels(raster, row.data(), header.cupsBytesPerLine);
        }
    }
    cupsRasterClose(raster);
    return document;
}

void printDocument(http_t* http, const std::string& document) {
    ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
    const std::string uri = std::string("ipp://localhost/printers/") + kQueue;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "application/vnd.cups-raster");
    const std::string resource = std::string("/printers/") + kQueue;
    if (cupsSendRequest(http, request, resource.c_str(), document.size()) == HTTP_STATUS_CONTINUE) {
        cupsWriteRequestData(http, document.data(), document.size());
    }
    ippDelete(cupsGetResponse(http, resource.c_str()));
    ippDelete(request);
}

void BM_LibcupsJobsOfNLabels(benchmark::State& state) {
    if (skipped(state)) return;
    constexpr long kLabels = 60;
    const auto labelsPerJob = static_cast<int>(state.range(0));
    const std::string document = rasterDocument(labelsPerJob);
    http_t* http = httpConnect2(bench().cupsd->socketPath().c_str(), ippPort(), nullptr, AF_UNSPEC,
                                HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    for (auto _ : state) {
        const long before = labelsIn(bench().device->bytes());
        for (long sent = 0; sent < kLabels; sent += labelsPerJob) printDocument(http, document);
        if (!bench().waitForLabels(before + kLabels)) state.SkipWithError("labels did not arrive");
    }
    httpClose(http);
    state.SetItemsProcessed(state.iterations() * kLabels);
}
BENCHMARK(BM_LibcupsJobsOfNLabels)->Arg(1)->Arg(10)->Arg(60)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
