// SPDX-License-Identifier: MIT
// Labels through a private cupsd and CUPS's sample ZPL driver, drawn by the renderer from
// the programs' sample jobs: the time from Issue to the label's arrival at the queue's
// device, labels per second through the control, what one job per label costs against
// one job for many (the figures behind the batching), and labels per second from many
// receiving stations (goods programs) printing at once through the server over TCP.
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
#include "receiving_stations.h"
#include "sample_jobs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kQueue = "Label_Zebra";
constexpr int kDotsPerInch = 203;

long labelsIn(const std::string& zpl) {
    long count = 0;
    for (std::size_t at = zpl.find("^IDR:CUPS.GRF"); at != std::string::npos; at = zpl.find("^IDR:CUPS.GRF", at + 1)) {
        ++count;
    }
    return count;
}

// One cupsd, listening on TCP as well as its socket, with one ZPL queue for the control and
// one for the stations, and a system folder that lists the first, for every benchmark.
struct Bench {
    Bench()
        : cupsd(std::make_unique<testing_support::PrivateCupsd>(testing_support::CupsdSettings{0, 0, "127.0.0.1", false, 0})) {
        if (!cupsd->unavailable().empty()) return;
        device = &cupsd->addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
        docks = &cupsd->addQueue(testing_support::kDockQueue, "drv:///sample.drv/zebra.ppd");
        system = cupsd->folder() / "system";
        fs::create_directories(system);
        std::ofstream(system / "printers.json")
            << R"({"printers": {"Zebra": {"type": "cups", "queue": ")" << kQueue << R"(", "server": ")"
            << cupsd->socketPath() << R"("}}})";
    }
    // The control draws with the renderer, as the programs' does.
    bcpctrl::BcpCtrlOptions options() const {
        const std::string folder = system.string();
        bcpctrl::BcpCtrlOptions options;
        options.environment = [folder](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return folder;
            return std::nullopt;
        };
        options.fonts = fonts;
        return options;
    }
    bool waitForLabels(long count) const {
        return device->waitFor([count](const std::string& bytes) { return labelsIn(bytes) >= count; },
                               std::chrono::seconds(120));
    }

    std::unique_ptr<testing_support::PrivateCupsd> cupsd;
    testing_support::DeviceTap* device = nullptr;
    testing_support::DeviceTap* docks = nullptr;
    fs::path system;
    std::shared_ptr<render::Fonts> fonts = render::Fonts::loadWhenNeeded();
};

Bench& bench() {
    static Bench shared;
    return shared;
}

// A port open on the queue with one sample job's format; its records are issued in turn.
struct Port {
    Port(const Bench& b, const testing_support::SampleJob& job) : control(b.options()) {
        const labelformat::LabelFormat format = testing_support::sampleFormat(job);
        records = testing_support::sampleLabels(job, format);
        control.setUsePrinter(format.usePrinter);
        control.setPortSetting("DRV:Zebra");
        std::string path = testing_support::sampleFormatFile(job).string();
        control.LoadFormat(path, result);
        std::int16_t portCode = frame::kPortCodeDriver;
        control.OpenPort(portCode, result);
    }
    void issue() {
        for (const auto& [number, text] : records[next++ % records.size()]) {
            std::string field = text;
            control.SetField(number, field, result);
        }
        control.Issue(1, 0, status, result);
    }
    ~Port() { control.ClosePort(result); }

    bcpctrl::BcpCtrl control;
    std::vector<labelformat::FieldValues> records;
    std::size_t next = 0;
    frame::ResultCode result = 0;
    std::string status;
};

bool skipped(benchmark::State& state) {
    if (bench().cupsd->unavailable().empty()) return false;
    state.SkipWithError(bench().cupsd->unavailable().c_str());
    return true;
}

// One label at a time on an idle queue: it goes as a job of its own at once. The first
// label of the port, which sets the fonts up, is not timed.
void BM_IssueToDeviceFile(benchmark::State& state) {
    if (skipped(state)) return;
    const auto job = testing_support::sampleJobs()[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(job.format);
    Port port(bench(), job);
    long arrived = labelsIn(bench().device->bytes());
    port.issue();
    if (port.result != 0 || !bench().waitForLabels(++arrived)) state.SkipWithError("the first label did not arrive");
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the queue is idle again
        const auto start = Clock::now();
        port.issue();
        if (port.result != 0 || !bench().waitForLabels(++arrived)) state.SkipWithError("the label did not arrive");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_IssueToDeviceFile)->DenseRange(0, 6)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// A job's worth of sample receiving labels issued as fast as the frame does, until the
// last one arrives.
void BM_LabelsPerSecondThroughTheControl(benchmark::State& state) {
    if (skipped(state)) return;
    const auto labels = state.range(0);
    for (auto _ : state) {
        const long before = labelsIn(bench().device->bytes());
        {
            Port port(bench(), testing_support::sampleJobs()[0]);
            for (long label = 0; label < labels; ++label) port.issue();
        }
        if (!bench().waitForLabels(before + labels)) state.SkipWithError("labels did not arrive");
    }
    state.SetItemsProcessed(state.iterations() * labels);
}
BENCHMARK(BM_LabelsPerSecondThroughTheControl)->Arg(100)->Iterations(2)->UseRealTime()->Unit(benchmark::kSecond);

// 400 receiving labels from stations started at once, each issuing its share through the
// server over TCP, until the last label arrives at the dock printer's device: what a site with
// many receiving docks gets from one print server and one printer. Every station is a goods
// program in console mode, its start-up included.
void BM_StationsThroughTheServer(benchmark::State& state) {
    if (skipped(state)) return;
    constexpr int kLabels = 400;
    const int stations = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path root = bench().cupsd->folder() / "stations";
        std::vector<testing_support::ReceivingStation> docks;
        for (int number = 1; number <= stations; ++number) {
            docks.emplace_back(root, number, bench().cupsd->tcpServer(), kLabels / stations, MOKUREN_SAMPLES_DIR,
                               MOKUREN_GOODS_PROGRAM);
        }
        const long before = labelsIn(bench().docks->bytes());
        state.ResumeTiming();
        for (const auto& result : testing_support::runAtOnce(docks, [] { return std::vector<testing_support::Interaction>{}; })) {
            if (result.exitStatus != 0) state.SkipWithError("a station's job failed");
        }
        const bool arrived = bench().docks->waitFor(
            [before](const std::string& bytes) { return labelsIn(bytes) >= before + kLabels; }, std::chrono::seconds(120));
        if (!arrived) state.SkipWithError("labels did not arrive");
        state.PauseTiming();
        fs::remove_all(root);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kLabels);
}
BENCHMARK(BM_StationsThroughTheServer)->Arg(1)->Arg(8)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

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
