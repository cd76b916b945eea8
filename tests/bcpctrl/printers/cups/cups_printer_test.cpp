// SPDX-License-Identifier: MIT
// The control printing on queues of a private cupsd through CUPS's real filters: the
// sample jobs of the three programs as the renderer draws them, and pictures the test
// draws itself where only the queue's handling matters.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "bcpctrl/bcp_ctrl.h"
#include "frame/printer_status.h"
#include "cups_test_support.h"
#include "device_output.h"
#include "raster_reading.h"
#include "sample_jobs.h"

namespace {

using bcpctrl::BcpCtrl;
using bcpctrl::BcpCtrlOptions;
using frame::ResultCode;
using testing_support::DecodedLabel;
using testing_support::KeptDrawnPictures;
using testing_support::PatternPictures;
using namespace cups_testing;
using namespace std::chrono_literals;

constexpr ResultCode code(std::uint16_t errorNumber) { return frame::resultCodeFor(errorNumber); }

// 2 x 1 inch, a size the driverless queue lists.
constexpr const char* kFormat = R"({"usePrinter": 1, "label": {"widthMm": 50.8, "heightMm": 25.4},
  "fields": [{"number": 1, "type": "text", "xMm": 1, "yMm": 1, "widthMm": 40, "heightMm": 5, "rotation": 0}]})";

class CupsPrinting : public ::testing::Test {
protected:
    void SetUp() override {
        if (!cupsd().unavailable().empty()) GTEST_SKIP() << cupsd().unavailable();
        std::string pattern = (std::filesystem::temp_directory_path() / "cups-test-XXXXXX").string();
        system = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(system / "formats");
        std::ofstream(system / "formats" / "LABEL.json") << kFormat;
        writeList(nlohmann::json::object());
    }
    void TearDown() override {
        if (!system.empty()) std::filesystem::remove_all(system);
    }
    static testing_support::PrivateCupsd& cupsd() { return sharedCupsd(); }

    // "Zebra" names the Label_Zebra queue, every other queue is listed under its own name;
    // `extra` entries are added.
    void writeList(const nlohmann::json& extra) const {
        nlohmann::json list;
        for (const char* queue : {kZebraQueue, kZebra300Queue, kPwgQueue, kPdfQueue, kClosedQueue}) {
            const std::string name = std::string(queue) == kZebraQueue ? "Zebra" : queue;
            list["printers"][name] = {{"type", "cups"}, {"queue", queue}, {"server", cupsd().socketPath()}};
        }
        list["printers"].update(extra);
        std::ofstream(system / "printers.json") << list.dump();
    }
    BcpCtrlOptions options(const std::string& cupsServer,
                           std::shared_ptr<const bcpctrl::LabelPictures> drawing = nullptr) const {
        BcpCtrlOptions options;
        options.environment = [this, cupsServer](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return system.string();
            if (name == "CUPS_SERVER") return cupsServer;
            return std::nullopt;
        };
        options.pictures = drawing ? std::move(drawing) : pictures;
        return options;
    }

    std::filesystem::path system;
    std::shared_ptr<PatternPictures> pictures = std::make_shared<PatternPictures>();
};

// One control as the host drives it.
struct Session {
    Session(BcpCtrlOptions options, const std::string& printer, std::string format = "LABEL", std::int16_t usePrinter = 1)
        : control(std::move(options)) {
        control.setUsePrinter(usePrinter);
        control.setPortSetting("DRV:" + printer);
        control.connectOnStatus([this](const std::string& printerStatus, ResultCode) { events.push_back(printerStatus); });
        control.LoadFormat(format, result);
    }
    ResultCode openPort() {
        std::int16_t portCode = frame::kPortCodeDriver;
        control.OpenPort(portCode, result);
        return result;
    }
    ResultCode issue(const std::string& text, std::int16_t copies = 1, std::int16_t cut = 0) {
        std::string field = text;
        control.SetField(1, field, result);
        control.Issue(copies, cut, status, result);
        return result;
    }
    ResultCode issue(const bcpctrl::FieldValues& values) {
        for (const auto& [number, text] : values) {
            std::string field = text;
            control.SetField(number, field, result);
        }
        control.Issue(1, 0, status, result);
        return result;
    }
    ResultCode closePort() {
        control.ClosePort(result);
        return result;
    }
    long count(const std::string& state) const { return std::count(events.begin(), events.end(), state); }
    // Lets the control poll, as a host does while it yields, until `state` has come `times`.
    bool waitFor(const std::string& state, long times, std::chrono::milliseconds timeout = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (count(state) < times && std::chrono::steady_clock::now() < deadline) {
            control.deliverPendingEvents();
            std::this_thread::sleep_for(20ms);
        }
        return count(state) >= times;
    }

    BcpCtrl control;
    ResultCode result = 0;
    std::string status;
    std::vector<std::string> events;
};

std::vector<DecodedLabel> decodedFrom(const std::string& queue, const std::string& bytes) {
    return queue == kPwgQueue ? testing_support::decodeRasterPages(bytes) : testing_support::decodeZplLabels(bytes);
}

std::string commandOutput(const std::string& command) {
    std::string output;
    const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    for (char buffer[256]; pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr;) output += buffer;
    return output;
}

// pdfinfo's "Page size:       311.811 x 141.732 pts" for a label of that many millimetres.
std::string pdfPageSize(double widthMm, double heightMm) {
    char text[64];
    std::snprintf(text, sizeof text, "Page size:       %g x %g pts", widthMm * 72.0 / 25.4, heightMm * 72.0 / 25.4);
    return text;
}

// Every sample job of the three programs as the programs print it, on each kind of queue:
// raster queues get the renderer's picture at the queue's resolution, unscaled, so what
// reaches the device is that picture dot for dot and every barcode on it scans as its
// field's data; other queues get the renderer's one-page PDF of each label, whole.
TEST_F(CupsPrinting, EachKindOfQueueGetsTheRenderersLabelsAtItsResolution) {
    struct Row {
        int row;
        std::string job;  // a sample job, by its format
        std::string printer;
        std::string queue;
        std::string document;
        int dotsPerInch;  // 0: PDF
    };
    const std::string cupsRaster = "application/vnd.cups-raster";
    const std::vector<Row> rows{
        {1, "LABEL1", "Zebra", kZebraQueue, cupsRaster, 203},
        {2, "LABEL2", "Zebra", kZebraQueue, cupsRaster, 203},
        {3, "LABEL3", "Zebra", kZebraQueue, cupsRaster, 203},
        {4, "CARD1", "Zebra", kZebraQueue, cupsRaster, 203},
        {5, "CARD2", "Zebra", kZebraQueue, cupsRaster, 203},
        {6, "SEAL1", "Zebra", kZebraQueue, cupsRaster, 203},
        {7, "TBCARD", "Zebra", kZebraQueue, cupsRaster, 203},
        {8, "TBCARD", kZebra300Queue, kZebra300Queue, cupsRaster, 300},
        {9, "LABEL1", "Pwg", kPwgQueue, "image/pwg-raster", 300},
        {10, "CARD1", "Pdf", kPdfQueue, "application/pdf", 0},
    };
    const auto fonts = render::Fonts::loadWhenNeeded();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const auto jobs = testing_support::sampleJobs();
        const auto job = *std::find_if(jobs.begin(), jobs.end(), [&](const auto& sample) { return sample.format == row.job; });
        const auto format = testing_support::sampleFormat(job);
        const auto labels = testing_support::sampleLabels(job, format);
        auto& device = cupsd().tap(row.queue);
        device.clear();
        const auto drawing = std::make_shared<KeptDrawnPictures>();
        Session session(options("", drawing), row.printer, testing_support::sampleFormatFile(job).string(), format.usePrinter);
        ASSERT_EQ(session.openPort(), 0);
        for (const auto& values : labels) EXPECT_EQ(session.issue(values), 0);
        EXPECT_EQ(session.status, "41");
        EXPECT_TRUE(session.waitFor("40", static_cast<long>(labels.size()))) << "a report for every label printed";
        EXPECT_EQ(session.closePort(), 0);
        for (const std::string& document : cupsd().finishedJobFormats(row.queue)) EXPECT_EQ(document, row.document);
        if (row.dotsPerInch == 0) {
            std::string sent;
            for (const std::string& pdf : drawing->pdfs) sent += pdf;
            ASSERT_EQ(drawing->pdfs.size(), labels.size());
            EXPECT_TRUE(device.waitFor([&](const std::string& bytes) { return bytes == sent; }));
            const auto file = system / "label.pdf";
            std::ofstream(file, std::ios::binary) << drawing->pdfs.front();
            const std::string info = commandOutput("pdfinfo " + file.string());
            EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
            EXPECT_NE(info.find(pdfPageSize(format.widthMm, format.heightMm)), std::string::npos) << info;
            continue;
        }
        ASSERT_TRUE(device.waitFor(
            [&](const std::string& bytes) { return decodedFrom(row.queue, bytes).size() == labels.size(); }));
        const auto decoded = decodedFrom(row.queue, device.bytes());
        auto renderer = std::move(render::LabelRenderer::create(format, fonts).value());
        for (std::size_t index = 0; index < labels.size(); ++index) {
            SCOPED_TRACE("label " + std::to_string(index + 1));
            const auto layout = renderer.layOut(renderer.content(labels[index]).value(), row.dotsPerInch);
            const render::Raster& printed = decoded[index].picture;
            const render::Raster drawn = renderer.paint(layout);
            EXPECT_TRUE(testing_support::samePicture(drawn, printed)) << "dot for dot, unscaled";
            if (row.queue == kPwgQueue) {  // the page says its size and resolution; ZPL graphics do not
                EXPECT_EQ(printed.dotsPerInch, row.dotsPerInch);
                EXPECT_EQ(printed.widthDots, drawn.widthDots);
            }
            for (const render::BarcodeElement& barcode : layout.barcodes) {
                const auto scanned = testing_support::scan(testing_support::cropped(printed, barcode.placement.box));
                ASSERT_EQ(scanned.size(), 1u) << "field " << barcode.fieldNumber;
                EXPECT_EQ(scanned[0].data, testing_support::scannedForm(*barcode.symbol)) << "field " << barcode.fieldNumber;
            }
        }
    }
}

TEST_F(CupsPrinting, CopiesAndCutReachTheLabelDriver) {
    auto& device = cupsd().tap(kZebraQueue);
    device.clear();
    Session session(options(""), "Zebra");
    ASSERT_EQ(session.openPort(), 0);
    EXPECT_EQ(session.issue("a", 1, 0), 0);
    EXPECT_EQ(session.issue("b", 3, 1), 0);
    EXPECT_EQ(session.issue("c", 1, 1), 0);
    EXPECT_EQ(session.closePort(), 0);
    ASSERT_TRUE(device.waitFor([](const std::string& bytes) { return testing_support::decodeZplLabels(bytes).size() == 3; }));
    const auto labels = testing_support::decodeZplLabels(device.bytes());
    EXPECT_EQ((std::vector<int>{labels[0].copies, labels[1].copies, labels[2].copies}), (std::vector<int>{1, 3, 1}));
    EXPECT_EQ((std::vector<bool>{labels[0].cut, labels[1].cut, labels[2].cut}), (std::vector<bool>{false, true, true}));
    ASSERT_EQ(pictures->drawn.size(), 3u);
    for (std::size_t index = 0; index < labels.size(); ++index) {
        EXPECT_TRUE(testing_support::samePicture(pictures->drawn[index], labels[index].picture)) << "rows longer than the label";
    }
}

TEST_F(CupsPrinting, OpenPortAnswersForEveryWayAQueueIsFoundOrNot) {
    const auto listed = [&](const std::string& queue) {
        return nlohmann::json{{"type", "cups"}, {"queue", queue}, {"server", cupsd().socketPath()}};
    };
    // Names cupsd cannot have: unknown queues, however cupsd would answer a request for them.
    writeList({{"Nowhere", listed("Nowhere")},
               {"Unreachable", {{"type", "cups"}, {"queue", kZebraQueue}, {"server", "/nonexistent/cups.sock"}}},
               {"Slash", listed("Label_Zebra/x")},
               {"Dots", listed("..")},
               {"Quote", listed("Label\"Zebra")},
               {"Query", listed("Label_Zebra?x")}});
    struct Row {
        int row;
        std::string printer;
        std::string cupsServer;  // the control's CUPS_SERVER
        bool withList;
        ResultCode expected;
    };
    const std::string server = cupsd().socketPath();
    const std::vector<Row> rows{
        {1, "Nowhere", server, true, code(1201)},
        {2, "Closed", server, true, code(1003)},
        {3, "Unreachable", server, true, code(1101)},
        {4, "Label Zebra", server, true, 0},
        {5, "Label Zebra", server, false, 0},
        {6, "No Such Queue", server, true, code(1201)},
        {7, "No Such Queue", server, false, code(1200)},
        {8, "Label Zebra", "/nonexistent/cups.sock", true, code(1201)},
        {9, "Slash", server, true, code(1201)},
        {10, "Dots", server, true, code(1201)},
        {11, "Quote", server, true, code(1201)},
        {12, "Query", server, true, code(1201)},
        {13, "../Label_Zebra", server, true, code(1201)},
        {14, "Label_Zebra#x", server, false, code(1200)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        if (!row.withList) std::filesystem::rename(system / "printers.json", system / "away.json");
        Session session(options(row.cupsServer), row.printer);
        EXPECT_EQ(session.openPort(), row.expected);
        if (!row.withList) std::filesystem::rename(system / "away.json", system / "printers.json");
    }
}

TEST_F(CupsPrinting, AStoppedQueueIsAFaultUntilResumedAndLosesNoLabel) {
    auto& device = cupsd().tap(kZebraQueue);
    device.clear();
    Session session(options(""), "Zebra");
    ASSERT_EQ(session.openPort(), 0);
    EXPECT_EQ(session.issue("a"), 0);
    ASSERT_TRUE(session.waitFor("40", 1));
    ASSERT_TRUE(cupsd().pause(kZebraQueue));
    EXPECT_EQ(session.issue("b"), frame::kPrinterStatusReport);
    EXPECT_EQ(session.status, bcpctrl::printer_status::kQueueStopped);
    EXPECT_EQ(session.issue("c"), frame::kPrinterStatusReport);
    session.control.deliverPendingEvents();
    EXPECT_EQ(session.count("18"), 1) << "a fault is reported once";
    ASSERT_TRUE(cupsd().resume(kZebraQueue));
    EXPECT_TRUE(session.waitFor("40", 3));
    EXPECT_EQ(session.count("00"), 1) << "and once more when it has cleared";
    EXPECT_EQ(session.closePort(), 0);
    EXPECT_TRUE(device.waitFor([](const std::string& bytes) { return testing_support::decodeZplLabels(bytes).size() == 3; }));
}

// cupsd takes kMaxJobsPerPrinter jobs at most; held labels wait for room instead of failing.
TEST_F(CupsPrinting, LabelsWaitForRoomWhenCupsdHasTooManyJobs) {
    auto& device = cupsd().tap(kZebraQueue);
    device.clear();
    Session session(options(""), "Zebra");
    ASSERT_EQ(session.openPort(), 0);
    ASSERT_TRUE(cupsd().pause(kZebraQueue));
    const std::vector<std::int16_t> copies{1, 2, 1, 2, 1, 2, 1, 2};  // each change starts a job of its own
    for (const std::int16_t number : copies) {
        const ResultCode result = session.issue("x", number);
        EXPECT_TRUE(result == 0 || result == frame::kPrinterStatusReport) << result;
    }
    std::this_thread::sleep_for(1500ms);  // every held batch is due by now
    session.control.deliverPendingEvents();
    ASSERT_TRUE(cupsd().resume(kZebraQueue));
    EXPECT_TRUE(session.waitFor("40", 4));
    EXPECT_EQ(session.closePort(), 0);
    ASSERT_TRUE(device.waitFor([&](const std::string& bytes) { return testing_support::decodeZplLabels(bytes).size() == copies.size(); }));
    const auto labels = testing_support::decodeZplLabels(device.bytes());
    for (std::size_t index = 0; index < copies.size(); ++index) EXPECT_EQ(labels[index].copies, copies[index]) << index;
}

// A printer that keeps up gets a job per label, and a 30,000-label job makes cupsd drop
// finished jobs to stay under MaxJobs: here twice over, with MaxJobs lowered.
TEST_F(CupsPrinting, AJobOfManyMoreLabelsThanCupsdKeepsJobsPrintsEveryOne) {
    auto& device = cupsd().tap(kZebraQueue);
    device.clear();
    Session session(options(""), "Zebra");
    ASSERT_EQ(session.openPort(), 0);
    constexpr std::size_t kLabels = 2 * kMaxJobs + 1;
    for (std::size_t label = 1; label <= kLabels; ++label) {
        ASSERT_EQ(session.issue(std::to_string(label)), 0) << "label " << label;
        // Out before the next is issued: each label is a job of its own.
        ASSERT_TRUE(device.waitFor([label](const std::string& bytes) { return testing_support::decodeZplLabels(bytes).size() == label; }))
            << "label " << label;
    }
    EXPECT_TRUE(session.waitFor("40", kLabels));
    EXPECT_EQ(session.closePort(), 0);
}

// Files the test process writes may grow no further than `bytes` while it lives, as on a
// full disk; a write past that fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &before_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{bytes, before_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit before_{};
    void (*previousHandler_)(int) = nullptr;
};

// With no room in memory, labels held for a stopped queue wait in a temporary file and all
// arrive; a label the file cannot take (a full disk) fails its Issue with 1003 and takes no
// label held before it along, and the next label goes on.
TEST_F(CupsPrinting, HeldLabelsBeyondTheMemoryLimitWaitInAFileAndAllArrive) {
    struct Row {
        int row;
        std::string queue;
        bool diskFullAtThirdLabel;
    };
    const std::vector<Row> rows{
        {1, kZebraQueue, false},
        {2, kPdfQueue, false},
        {3, kZebraQueue, true},
    };
    const std::vector<std::string> texts{"a", "bb", "ccc", "dddd"};  // bars of a different width each
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        writeList({{"Spilling", {{"type", "cups"}, {"queue", row.queue}, {"server", cupsd().socketPath()}, {"heldInMemoryBytes", 0}}}});
        auto& device = cupsd().tap(row.queue);
        device.clear();
        const auto drawing = std::make_shared<KeptDrawnPictures>();
        const auto patterns = std::make_shared<PatternPictures>();
        const bool pdf = row.queue == kPdfQueue;
        Session session(options("", pdf ? std::shared_ptr<const bcpctrl::LabelPictures>(drawing) : patterns), "Spilling");
        ASSERT_EQ(session.openPort(), 0);
        ASSERT_TRUE(cupsd().pause(row.queue));
        std::vector<std::size_t> handedOver;
        for (std::size_t index = 0; index < texts.size(); ++index) {
            // The first label is a job of its own; the others wait in one batch behind it.
            const bool full = row.diskFullAtThirdLabel && index == 2;
            std::optional<FileSizeLimit> limit;
            if (full) limit.emplace(1);
            const ResultCode result = session.issue(texts[index]);
            limit.reset();
            if (full) {
                EXPECT_EQ(result, code(1003));
                continue;
            }
            EXPECT_TRUE(result == 0 || result == frame::kPrinterStatusReport) << index << ": " << result;
            handedOver.push_back(index);
        }
        ASSERT_TRUE(cupsd().resume(row.queue));
        EXPECT_EQ(session.closePort(), 0);
        if (pdf) {
            std::string sent;
            for (const std::string& document : drawing->pdfs) sent += document;
            EXPECT_TRUE(device.waitFor([&](const std::string& bytes) { return bytes == sent; }));
            continue;
        }
        ASSERT_TRUE(device.waitFor(
            [&](const std::string& bytes) { return testing_support::decodeZplLabels(bytes).size() == handedOver.size(); }));
        const auto decoded = testing_support::decodeZplLabels(device.bytes());
        for (std::size_t index = 0; index < handedOver.size(); ++index) {
            EXPECT_TRUE(testing_support::samePicture(patterns->drawn[handedOver[index]], decoded[index].picture)) << index;
        }
    }
}

}  // namespace
