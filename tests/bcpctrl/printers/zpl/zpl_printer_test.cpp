// SPDX-License-Identifier: MIT
// ZPL printers driven through the control, against zpl-printer-sim on a pty or a
// loopback port that each test starts and stops by its pid; and the serial settings
// reaching a pty of the test's own.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <signal.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "bcpctrl/bcp_ctrl.h"
#include "render/label_renderer.h"
#include "printers/zpl/printer_link.h"
#include "printer_simulator.h"
#include "test_support.h"

namespace bcpctrl::printers::zpl {
namespace {

using frame::ResultCode;
using Json = nlohmann::json;
using testing::TempDir;
using testing_support::PrinterSimulator;
using namespace std::chrono_literals;

constexpr ResultCode code(std::uint16_t errorNumber) { return frame::resultCodeFor(errorNumber); }
// Fast enough that the control's pacing to the line costs the tests little.
constexpr const char* kSerialSetting = "COM1:115200,E,8,1";
constexpr const char* kPrinterNameSetting = "DRV:NET";  // the entry "NET" under "printers"

std::vector<std::string> pictureRows(const render::Raster& raster) {
    std::vector<std::string> rows;
    for (int y = 0; y < raster.heightDots; ++y) {
        std::string row;
        for (int x = 0; x < raster.widthDots; ++x) row += raster.isBlack(x, y) ? '#' : '.';
        rows.push_back(row);
    }
    return rows;
}

int descriptorsOpenOn(const std::string& path) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == path) ++count;
    }
    return count;
}

// A loopback port that refuses connections: bound once, then closed.
int refusingPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A loopback port whose connections the system accepts and keeps what is sent to, but
// that never reads nor answers: a host that is not a printer. Closed by the test.
class SilentPeer {
public:
    explicit SilentPeer(int receiveBufferBytes = 0) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        if (receiveBufferBytes > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentPeer() { ::close(fd_); }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

// The formats the emulator has received whole (its label-NNNN.json records).
// Labels the emulator has received whole, each with its picture: formats that print
// nothing (one stored for the job, the deletion at its end) have none.
int labelsReceived(const PrinterSimulator& simulator) {
    int count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(simulator.outDirectory(), ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("label-") && name.ends_with(".pbm") && name.find("-g") == std::string::npos) ++count;
    }
    return count;
}

class ZplPrinterTest : public ::testing::Test {
protected:
    ZplPrinterTest() {
        system.write("formats/LABEL.json", Json{{"usePrinter", 1},
                                                {"label", {{"widthMm", 40.0}, {"heightMm", 20.0}}},
                                                {"fields", {{{"number", 1}, {"type", "text"}, {"xMm", 1.0}, {"yMm", 1.0},
                                                             {"widthMm", 30.0}, {"heightMm", 5.0}, {"rotation", 0}}}}}
                                               .dump());
    }

    std::unique_ptr<PrinterSimulator> startSimulator(std::vector<std::string> arguments, const std::string& name = "sim") {
        auto simulator = std::make_unique<PrinterSimulator>(arguments, system.path() / name);
        EXPECT_TRUE(simulator->started()) << "zpl-printer-sim did not start";
        return simulator;
    }

    // The serial port COM1, or the printer named NET, as `entry` describes it.
    void listPrinter(const Json& entry, bool underPrinters) {
        Json list;
        list[underPrinters ? "printers" : "serialPorts"][underPrinters ? "NET" : "COM1"] = entry;
        system.write("printers.json", list.dump());
    }
    Json serialEntry(const PrinterSimulator& simulator, Json options = Json::object()) const {
        Json entry{{"type", "zpl"}, {"device", simulator.address()}, {"statusIntervalMs", 50}};
        entry.update(options);
        return entry;
    }
    Json networkEntry(const PrinterSimulator& simulator, Json options = Json::object()) const {
        Json entry{{"type", "zpl"}, {"host", "127.0.0.1"}, {"port", std::stoi(simulator.address())},
                   {"statusIntervalMs", 50}};
        entry.update(options);
        return entry;
    }

    BcpCtrlOptions options() const {
        BcpCtrlOptions options;
        options.environment = testing::fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", system.path().string()}});
        return options;
    }

    TempDir system;
};

// One control as a job drives it, with every event it delivers.
class Job {
public:
    Job(BcpCtrlOptions options, std::string portSetting) : control(std::move(options)), setting_(std::move(portSetting)) {
        control.setUsePrinter(1);
        control.setPortSetting(setting_);
        control.connectOnStatus([this](const std::string& text, ResultCode code) { events.push_back({text, code}); });
        std::string format = "LABEL";
        control.LoadFormat(format, result);
    }
    ResultCode open() {
        std::int16_t portCode = setting_.rfind("COM", 0) == 0 ? frame::kPortCodeSerial : frame::kPortCodeDriver;
        control.OpenPort(portCode, result);
        return result;
    }
    ResultCode issue(const std::string& text, std::int16_t copies = 1, std::int16_t cut = 0) {
        std::string value = text;
        control.SetField(1, value, result);
        control.Issue(copies, cut, status, result);
        return result;
    }
    ResultCode close() {
        control.ClosePort(result);
        return result;
    }
    // Delivers events until `done` holds; false when it does not in time.
    bool deliverUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            control.deliverPendingEvents();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
    }
    long count(const std::string& state) const {
        return std::count_if(events.begin(), events.end(), [&](const StatusEvent& event) {
            return event.result == frame::kPrinterStatusReport && event.printerStatus == state;
        });
    }
    std::ptrdiff_t firstIndex(const std::string& state) const {
        const auto found = std::find_if(events.begin(), events.end(),
                                        [&](const StatusEvent& event) { return event.printerStatus == state; });
        return found - events.begin();
    }
    bool failedWith(ResultCode failure) const {
        return std::any_of(events.begin(), events.end(), [&](const StatusEvent& event) { return event.result == failure; });
    }

    BcpCtrl control;
    ResultCode result = 0;
    std::string status;
    std::vector<StatusEvent> events;

private:
    std::string setting_;
};

// Issue hands the label over when it answers 0, or the printer's fault state.
bool handedOver(ResultCode result) { return result == 0 || result == frame::kPrinterStatusReport; }

std::vector<std::string> simulatorArguments(bool network, std::vector<std::string> more) {
    std::vector<std::string> arguments = network ? std::vector<std::string>{"--tcp", "0"} : std::vector<std::string>{"--pty"};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

struct FaultRow {
    int row;
    std::string fault;
    std::string state;
    bool network;
    bool clearedBySignal;
};

TEST_F(ZplPrinterTest, EveryFaultIsReportedOnceWhileLabelsWaitAndClearsWithReady) {
    const std::vector<FaultRow> rows{
        {1, "paper-out:after=1,for=400", "11", false, false},
        {2, "head-open:after=1,for=400", "13", false, false},
        {3, "ribbon-out:after=1,for=400", "14", false, false},
        {4, "pause:after=1,for=400", "15", false, false},
        {5, "buffer-full:after=1,for=400", "16", false, false},
        {6, "paper-out", "11", false, true},
        {7, "head-open:after=1,for=400", "13", true, false},
    };
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.row);
        const auto simulator = startSimulator(simulatorArguments(row.network, {"--print-ms", "20", "--fault", row.fault}),
                                              "sim" + std::to_string(row.row));
        ASSERT_TRUE(simulator->started());
        listPrinter(row.network ? networkEntry(*simulator) : serialEntry(*simulator), row.network);
        Job job(options(), row.network ? kPrinterNameSetting : kSerialSetting);
        ASSERT_EQ(job.open(), 0);
        // A fault from the start may already be known when the second label goes.
        EXPECT_TRUE(handedOver(job.issue("first")));
        EXPECT_TRUE(handedOver(job.issue("second")));
        ASSERT_TRUE(job.deliverUntil([&] { return job.count(row.state) == 1; }));
        if (row.clearedBySignal) {
            EXPECT_EQ(job.count("40"), 0) << "nothing prints without paper";
        }
        EXPECT_EQ(job.issue("third"), frame::kPrinterStatusReport) << "a label handed over during a fault";
        EXPECT_EQ(job.status, row.state);
        if (row.clearedBySignal) simulator->signal(SIGUSR1);
        ASSERT_TRUE(job.deliverUntil([&] { return job.count("00") == 1 && job.count("40") == 3; }));
        EXPECT_LT(job.firstIndex(row.state), job.firstIndex("00"));
        EXPECT_EQ(job.count(row.state), 1);
        EXPECT_FALSE(job.failedWith(code(1101)));
        EXPECT_TRUE(simulator->waitUntilPrinted(3, 2s));
        EXPECT_EQ(job.close(), 0);
    }
}

TEST_F(ZplPrinterTest, APrinterThatStopsAnsweringIsACommunicationError) {
    struct Row {
        int row;
        bool network;
        std::vector<std::string> arguments;
    };
    const std::vector<Row> rows{
        {1, false, {"--fault", "no-answer"}},
        {2, true, {"--fault", "no-answer"}},
        {3, true, {}},  // switched off after the first label: the connection drops
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        auto simulator = startSimulator(simulatorArguments(row.network, row.arguments), "sim" + std::to_string(row.row));
        ASSERT_TRUE(simulator->started());
        const Json timeout{{"statusTimeoutMs", 300}};
        listPrinter(row.network ? networkEntry(*simulator, timeout) : serialEntry(*simulator, timeout), row.network);
        Job job(options(), row.network ? kPrinterNameSetting : kSerialSetting);
        ASSERT_EQ(job.open(), 0);
        EXPECT_EQ(job.issue("first"), 0);
        if (row.arguments.empty()) {
            ASSERT_TRUE(job.deliverUntil([&] { return job.count("40") == 1; }));
            simulator->kill();
        }
        ASSERT_TRUE(job.deliverUntil([&] { return job.failedWith(code(1101)); }, 3s));
        EXPECT_EQ(job.issue("second"), code(1101)) << "a driver job stops at its next Issue";
        EXPECT_EQ(job.close(), 0);
    }
}

// A network printer keeps pace by its answers: a label goes once the printer has taken the
// one before, and ClosePort returns once it has taken the last. So a host that takes
// nothing, or a printer that goes away, fails the job with at most one label in doubt.
TEST_F(ZplPrinterTest, ANetworkPrinterGetsALabelOnlyOnceItHasTakenTheOneBefore) {
    enum class Peer { Silent, SilentSmallWindow, Printer, PrinterKilled };
    struct Row {
        int row;
        Peer peer;
        int labels;               // issued until one fails
        ResultCode failure;       // of the Issue that fails; 0: none does
        ResultCode closePort;
    };
    const std::vector<Row> rows{
        {1, Peer::Silent, 1, 0, code(1101)},  // ClosePort waits for the printer to take it
        {2, Peer::Silent, 12, code(1101), 0},
        {3, Peer::SilentSmallWindow, 12, code(1003), 0},
        {4, Peer::Printer, 12, 0, 0},
        {5, Peer::PrinterKilled, 200, code(1101), 0},  // killed once three labels are in
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        const bool emulated = row.peer == Peer::Printer || row.peer == Peer::PrinterKilled;
        const bool silent = !emulated;
        std::unique_ptr<PrinterSimulator> simulator;
        std::unique_ptr<SilentPeer> peer;
        Json entry{{"type", "zpl"}, {"host", "127.0.0.1"}, {"statusIntervalMs", 50}, {"statusTimeoutMs", 300}};
        if (emulated) {
            // At 115200 baud a label takes the printer about 10 ms to take in.
            simulator = startSimulator({"--tcp", "0", "--baud", "115200"}, "sim" + std::to_string(row.row));
            ASSERT_TRUE(simulator->started());
            entry["port"] = std::stoi(simulator->address());
        } else {
            peer = std::make_unique<SilentPeer>(row.peer == Peer::SilentSmallWindow ? 1 : 0);
            entry["port"] = peer->port();
        }
        if (row.peer == Peer::SilentSmallWindow) {
            // A label far larger than what the host's system takes: a picture at 1200 dpi.
            entry.update(Json{{"dpi", 1200}, {"graphics", "hex"}, {"statusTimeoutMs", 60000}, {"writeTimeoutMs", 300}});
        }
        listPrinter(entry, true);
        Job job(options(), kPrinterNameSetting);
        ASSERT_EQ(job.open(), 0);
        int issued = 0;
        ResultCode failure = 0;
        int receivedWhenKilled = -1;
        while (issued < row.labels) {
            const ResultCode result = job.issue(silent ? "入荷ラベル 入荷ラベル" : "label " + std::to_string(issued + 1));
            if (!handedOver(result)) {
                failure = result;
                break;
            }
            ++issued;
            if (row.peer == Peer::PrinterKilled && receivedWhenKilled < 0 && labelsReceived(*simulator) >= 3) {
                simulator->kill();
                receivedWhenKilled = labelsReceived(*simulator);
            }
        }
        const bool lostConnection = row.peer == Peer::PrinterKilled && failure == code(1003);  // reset as it wrote
        EXPECT_EQ(lostConnection ? code(1101) : failure, row.failure);
        EXPECT_EQ(job.close(), row.closePort);
        if (row.peer == Peer::Silent) {
            EXPECT_EQ(issued, row.failure == 0 ? row.labels : 1) << "one label in doubt";
        }
        if (row.peer == Peer::Printer) {
            EXPECT_EQ(labelsReceived(*simulator), row.labels) << "all taken at ClosePort";
        }
        if (row.peer == Peer::PrinterKilled) {
            ASSERT_GE(receivedWhenKilled, 3);
            EXPECT_LE(issued, receivedWhenKilled + 1) << "no more than one label beyond what the printer took";
        }
    }
}

TEST_F(ZplPrinterTest, APortThatIsMissingBusyOrRefusedDoesNotOpen) {
    const auto simulator = startSimulator({"--pty"});
    ASSERT_TRUE(simulator->started());
    const auto notATerminal = system.write("plain-file", "");
    struct Row {
        int row;
        Json entry;
        bool network;
    };
    const std::vector<Row> rows{
        {1, Json{{"type", "zpl"}, {"device", "/dev/no-such-tty"}}, false},
        {2, Json{{"type", "zpl"}, {"device", notATerminal.string()}}, false},
        {3, serialEntry(*simulator), false},  // a first job holds the port
        {4, Json{{"type", "zpl"}, {"host", "127.0.0.1"}, {"port", refusingPort()}}, true},
    };
    listPrinter(serialEntry(*simulator), false);
    Job holder(options(), kSerialSetting);
    ASSERT_EQ(holder.open(), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        listPrinter(row.entry, row.network);
        Job job(options(), row.network ? kPrinterNameSetting : kSerialSetting);
        EXPECT_EQ(job.open(), code(1000));
        EXPECT_EQ(job.issue("x"), code(1001));
    }
}

TEST_F(ZplPrinterTest, AWriteThatFailsOrIsHeldTooLongIs1003) {
    struct Row {
        int row;
        std::vector<std::string> arguments;
        Json options;
        bool closeOnceHeld;  // ClosePort as soon as the printer holds a label back
    };
    const Json stalling{{"flowControl", "xonxoff"}, {"writeTimeoutMs", 300}};
    const std::vector<Row> rows{
        {1, {"--flow", "xonxoff", "--fault", "stall"}, stalling, false},
        {2, {}, Json::object(), false},  // switched off after the first label
        // Held beyond the hold time (250 ms) but not yet beyond the write time: "16" first.
        {3, {"--flow", "xonxoff", "--fault", "stall"}, Json{{"flowControl", "xonxoff"}, {"writeTimeoutMs", 1000}}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        auto simulator = startSimulator(simulatorArguments(false, row.arguments), "sim" + std::to_string(row.row));
        ASSERT_TRUE(simulator->started());
        listPrinter(serialEntry(*simulator, row.options), false);
        Job job(options(), kSerialSetting);
        ASSERT_EQ(job.open(), 0);
        if (row.arguments.empty()) {
            EXPECT_EQ(job.issue("first"), 0);
            simulator->kill();
        }
        // The printer's XOFF reaches the port within its repeat time (100 ms); until then
        // labels go on into the line, and a printer that holds it a while is "buffer full".
        const auto started = std::chrono::steady_clock::now();
        const auto goOn = [&](ResultCode result) { return row.closeOnceHeld ? result == 0 : handedOver(result); };
        while (goOn(job.issue("next")) && std::chrono::steady_clock::now() - started < 3s) {
        }
        if (row.closeOnceHeld && job.result == frame::kPrinterStatusReport) {
            EXPECT_EQ(job.close(), code(1003)) << "the held label never left: the job must not end quietly";
            continue;
        }
        EXPECT_EQ(job.result, code(1003));
        EXPECT_EQ(job.issue("after"), code(1003)) << "nothing follows a broken format";
        EXPECT_EQ(job.close(), 0);
    }
}

TEST_F(ZplPrinterTest, ThePortIsClosedOnEveryWayOutOfAJob) {
    const auto simulator = startSimulator({"--pty", "--fault", "pause"});  // labels stay in the printer
    ASSERT_TRUE(simulator->started());
    listPrinter(serialEntry(*simulator), false);
    const std::vector<std::pair<int, bool>> rows{{1, true}, {2, false}};  // ClosePort, or the control going away
    for (const auto& [row, closePort] : rows) {
        SCOPED_TRACE(row);
        {
            Job job(options(), kSerialSetting);
            ASSERT_EQ(job.open(), 0);
            EXPECT_TRUE(handedOver(job.issue("first")));
            EXPECT_TRUE(handedOver(job.issue("second")));
            EXPECT_EQ(descriptorsOpenOn(simulator->address()), 1);
            if (closePort) {
                EXPECT_EQ(job.close(), 0);
            }
        }
        EXPECT_EQ(descriptorsOpenOn(simulator->address()), 0);
        EXPECT_TRUE(PrinterLink::openSerial(simulator->address(), SerialPort{"COM1", 9600, 'E', 8, 1}, FlowControl::None))
            << "the port is free for the next job";
    }
}

// ASCII in the resident font; Japanese as the renderer draws it, stored the first time.
TEST_F(ZplPrinterTest, LabelsArriveAsDrawnWithTheirCopiesAndCut) {
    struct Row {
        int row;
        std::string graphics;
        bool byPrinterName;  // a serial device listed under "printers", with its own line
        std::string memoryKb;  // what the printer has (~HM); below 1 MB free, text goes as pictures
        bool downloadFonts = true;
    };
    const std::vector<Row> rows{{1, "z64", false, "8192"}, {2, "hex", false, "8192"}, {3, "z64", true, "8192"},
                                {4, "z64", false, "900"}, {5, "z64", false, "8192", false}};
    const std::vector<std::string> texts{"Lot A-7, cut", "入荷ラベル"};
    const auto format = labelformat::readLabelFormatFile(system.path() / "formats" / "LABEL.json").value();
    auto renderer = std::move(render::LabelRenderer::create(format, render::Fonts::loadWhenNeeded()).value());
    std::vector<std::vector<std::string>> drawn;
    for (const std::string& text : texts) drawn.push_back(pictureRows(renderer.paint(renderer.layOut(renderer.content({{1, text}}).value(), 300))));
    for (const auto& [row, graphics, byPrinterName, memoryKb, downloadFonts] : rows) {
        SCOPED_TRACE(row);
        const auto simulator = startSimulator({"--pty", "--memory", memoryKb}, "sim" + std::to_string(row));
        ASSERT_TRUE(simulator->started());
        Json options{{"cutter", true}, {"dotsPerInch", 300}, {"graphics", graphics}, {"downloadFonts", downloadFonts}};
        if (byPrinterName) options["serial"] = "115200,N,8,1";
        listPrinter(serialEntry(*simulator, options), byPrinterName);
        Job job(this->options(), byPrinterName ? kPrinterNameSetting : kSerialSetting);
        ASSERT_EQ(job.open(), 0);
        EXPECT_EQ(job.issue(texts[0], 3, 1), 0);
        EXPECT_EQ(job.issue(texts[1], 2, 0), 0);
        ASSERT_TRUE(job.deliverUntil([&] { return job.count("40") == 2; }));
        EXPECT_TRUE(simulator->waitUntilPrinted(5, 2s));
        // The formats that print, by their numbers: the job's stored format (^DF) is one too.
        const auto printed = simulator->printed();
        const std::vector<std::string> labels{printed.at(0).substr(0, 10), printed.at(3).substr(0, 10)};
        EXPECT_EQ(printed.at(2), labels[0] + " copy 3/3 cut");
        EXPECT_EQ(printed.at(4), labels[1] + " copy 2/2");
        for (std::size_t label = 0; label < labels.size(); ++label) {
            const Json record = Json::parse(simulator->labelRecord(std::stoi(labels[label].substr(6))), nullptr, false);
            ASSERT_TRUE(record.is_object());
            EXPECT_EQ(record["copies"], label == 0 ? 3 : 2);
            EXPECT_EQ(record["printMode"], label == 0 ? "C" : "T");
            EXPECT_EQ(record["printWidthDots"], 472) << "40 mm at 300 dpi";
            EXPECT_TRUE(record["errors"].empty());
            EXPECT_TRUE(record["undrawn"].empty());
            const bool typeset = std::any_of(record["fields"].begin(), record["fields"].end(),
                                             [](const Json& field) { return field["kind"] == "text"; });
            EXPECT_EQ(typeset, row <= 3) << "text in fonts of the printer, or as pictures";
            EXPECT_EQ(testing_support::bitmapRows(simulator->outDirectory() / record["picture"].get<std::string>()), drawn[label])
                << "dot for dot as the renderer draws it";
        }
        EXPECT_EQ(job.close(), 0);
    }
}


struct Pty {
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        path = ::ptsname(master);
        observer = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Pty() {
        ::close(observer);
        ::close(master);
    }
    termios settings() const {
        termios now{};
        ::tcgetattr(observer, &now);
        return now;
    }
    int master = -1;
    int observer = -1;  // the test's own view of the terminal's settings
    std::string path;
};

TEST(SerialLink, TheSettingAndFlowControlReachTheTerminalInRawMode) {
    struct Row {
        int row;
        SerialPort setting;
        FlowControl flow;
        speed_t speed;
        bool twoStopBits;
        tcflag_t inputFlow;
        bool rtsCts;
    };
    const std::vector<Row> rows{
        {1, {"COM1", 9600, 'E', 8, 1}, FlowControl::None, B9600, false, 0, false},
        {2, {"COM1", 19200, 'N', 7, 2}, FlowControl::XonXoff, B19200, true, IXON | IXOFF, false},
        {3, {"COM1", 115200, 'O', 8, 1}, FlowControl::RtsCts, B115200, false, 0, true},
    };
    Pty pty;
    ASSERT_GE(pty.observer, 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        auto link = PrinterLink::openSerial(pty.path, row.setting, row.flow);
        ASSERT_TRUE(link) << "settings a pty ignores do not stop the port from opening";
        const termios applied = pty.settings();
        EXPECT_EQ(::cfgetospeed(&applied), row.speed);
        EXPECT_EQ((applied.c_cflag & CSTOPB) != 0, row.twoStopBits);
        EXPECT_EQ(applied.c_iflag & (IXON | IXOFF | IXANY), row.inputFlow);
        EXPECT_EQ((applied.c_cflag & CRTSCTS) != 0, row.rtsCts);
        EXPECT_EQ(applied.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(applied.c_oflag & OPOST, 0u);
        EXPECT_FALSE(PrinterLink::openSerial(pty.path, row.setting, row.flow)) << "one job at a time";
    }
}

}  // namespace
}  // namespace bcpctrl::printers::zpl
