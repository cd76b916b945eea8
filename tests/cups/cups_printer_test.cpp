// SPDX-License-Identifier: MIT
// The control printing on queues of a private cupsd through CUPS's real filters, with
// pictures the test draws itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "bcpctrl/bcp_ctrl.h"
#include "bcpctrl/printer_status.h"
#include "cups_test_support.h"
#include "device_output.h"

namespace {

using bcpctrl::BcpCtrl;
using bcpctrl::BcpCtrlOptions;
using frame::ResultCode;
using testing_support::DecodedLabel;
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

    // "Zebra", "Pwg", "Pdf" and "Closed" name their queues; `extra` entries are added.
    void writeList(const nlohmann::json& extra) const {
        nlohmann::json list;
        for (const char* queue : {kZebraQueue, kPwgQueue, kPdfQueue, kClosedQueue}) {
            const std::string name = std::string(queue) == kZebraQueue ? "Zebra" : queue;
            list["printers"][name] = {{"type", "cups"}, {"queue", queue}, {"server", cupsd().socketPath()}};
        }
        list["printers"].update(extra);
        std::ofstream(system / "printers.json") << list.dump();
    }
    BcpCtrlOptions options(const std::string& cupsServer) const {
        BcpCtrlOptions options;
        options.environment = [this, cupsServer](const std::string& name) -> std::optional<std::string> {
            if (name == bcpctrl::kSystemDirVariable) return system.string();
            if (name == "CUPS_SERVER") return cupsServer;
            return std::nullopt;
        };
        options.pictures = pictures;
        return options;
    }

    std::filesystem::path system;
    std::shared_ptr<PatternPictures> pictures = std::make_shared<PatternPictures>();
};

// One control as the host drives it.
struct Session {
    Session(BcpCtrlOptions options, const std::string& printer) : control(std::move(options)) {
        control.setUsePrinter(1);
        control.setPortSetting("DRV:" + printer);
        control.connectOnStatus([this](const std::string& printerStatus, ResultCode) { events.push_back(printerStatus); });
        std::string format = "LABEL";
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
    return queue == kZebraQueue ? testing_support::decodeZplLabels(bytes) : testing_support::decodeRasterPages(bytes);
}

TEST_F(CupsPrinting, EachKindOfQueueGetsItsOwnDocumentAtItsResolution) {
    struct Row {
        int row;
        std::string printer;
        std::string queue;
        std::string format;
        int dotsPerInch;  // 0: the queue gets PDF
    };
    const std::vector<Row> rows{
        {1, "Zebra", kZebraQueue, "application/vnd.cups-raster", 203},
        {2, "Pwg", kPwgQueue, "image/pwg-raster", 300},
        {3, "Pdf", kPdfQueue, "application/pdf", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        pictures = std::make_shared<PatternPictures>();
        auto& device = cupsd().tap(row.queue);
        device.clear();
        Session session(options(""), row.printer);
        ASSERT_EQ(session.openPort(), 0);
        for (const char* text : {"a", "bb", "ccc"}) EXPECT_EQ(session.issue(text), 0);
        EXPECT_EQ(session.status, "41");
        EXPECT_TRUE(session.waitFor("40", 3)) << "a report for every label the queue has printed";
        EXPECT_EQ(session.closePort(), 0);
        for (const std::string& format : cupsd().finishedJobFormats(row.queue)) EXPECT_EQ(format, row.format);
        if (row.dotsPerInch == 0) {
            std::string sent;
            for (const std::string& pdf : pictures->pdfs) sent += pdf;
            EXPECT_TRUE(device.waitFor([&](const std::string& bytes) { return bytes == sent; }));
            continue;
        }
        ASSERT_TRUE(device.waitFor([&](const std::string& bytes) { return decodedFrom(row.queue, bytes).size() == 3; }));
        const auto labels = decodedFrom(row.queue, device.bytes());
        ASSERT_EQ(pictures->drawn.size(), 3u);
        for (std::size_t index = 0; index < labels.size(); ++index) {
            EXPECT_EQ(pictures->drawn[index].dotsPerInch, row.dotsPerInch);
            EXPECT_EQ(pictures->drawn[index].widthDots, row.dotsPerInch * 2) << "2 inches, whole dots, unscaled";
            EXPECT_TRUE(testing_support::samePicture(pictures->drawn[index], labels[index].picture)) << index;
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
}

TEST_F(CupsPrinting, OpenPortAnswersForEveryWayAQueueIsFoundOrNot) {
    writeList({{"Nowhere", {{"type", "cups"}, {"queue", "Nowhere"}, {"server", cupsd().socketPath()}}},
               {"Unreachable", {{"type", "cups"}, {"queue", kZebraQueue}, {"server", "/nonexistent/cups.sock"}}}});
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

}  // namespace
