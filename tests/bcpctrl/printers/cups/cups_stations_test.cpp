// SPDX-License-Identifier: MIT
// A site with many receiving docks: one print server that every station prints through.
// A private cupsd listens on TCP, as cupsd on another machine does, with a queue on CUPS's
// own ZPL driver, and eight goods programs in console mode print on it at once: half
// through a printer entry's "server", half through CUPS_SERVER and the queue's own name.
// Every label carries its station and record in its CODE128 control number, read back
// from what reached the queue's device with zbar. Also: the server going away mid-job, the
// link to it cut just after it took a batch, and a server that requires encryption.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "bcpctrl/bcp_ctrl.h"
#include "cups_test_support.h"
#include "device_output.h"
#include "private_cupsd.h"
#include "program_test_support.h"
#include "raster_reading.h"
#include "receiving_stations.h"
#include "sample_jobs.h"
#include "tcp_relay.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CupsdSettings;
using testing_support::Interaction;
using testing_support::PrivateCupsd;
using testing_support::ProcessResult;
using testing_support::RunningProcess;
using namespace std::chrono_literals;

constexpr int kStations = 8;
#ifdef __SANITIZE_ADDRESS__
constexpr int kLabelsPerStation = 10;  // the same paths; fifty take minutes under the sanitizers
#else
constexpr int kLabelsPerStation = 50;
#endif
constexpr const char* kQueue = testing_support::kDockQueue;
constexpr const char* kPdfQueue = "Dock_Pdf";
constexpr const char* kCommunicationBox =
    "box: title=メッセージ icon=exclamation buttons=OK text=通信エラーが発生しました。発行を中止します。";
constexpr int kCommunicationError = -2146827187;  // 0x800A044D, 1101

using testing_support::controlNumber;
using testing_support::runAtOnce;

using Station = testing_support::ReceivingStation;

Station station(const fs::path& root, int number, const std::string& server, int records) {
    return Station(root, number, server, records, testing_support::samplesDir(),
                   testing_support::programPath("mokuren-goods"));
}

// The result of the station's last Issue in its call log.
int lastIssueResult(const Station& station) {
    std::ifstream trace(station.folder() / "trace.jsonl");
    int result = 0;
    for (std::string line; std::getline(trace, line);) {
        const auto call = nlohmann::json::parse(line);
        if (call.at("op") == "Issue") result = call.at("result").get<int>();
    }
    return result;
}

std::vector<std::string> boxes(const ProcessResult& result) {
    std::vector<std::string> found;
    for (const auto& line : result.errorLines) {
        if (line.starts_with("box: ")) found.push_back(line);
    }
    return found;
}

std::string lastLines(const ProcessResult& result) {
    std::string text;
    const std::size_t from = result.errorLines.size() > 3 ? result.errorLines.size() - 3 : 0;
    for (std::size_t index = from; index < result.errorLines.size(); ++index) text += result.errorLines[index] + "\n";
    return text;
}

// Until the queue has printed every job that is not held, and its device has taken it all.
void waitUntilPrinted(PrivateCupsd& cupsd, const std::string& queue) {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (cupsd.jobsWaitingOrPrinting(queue) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    const auto& device = cupsd.tap(queue);
    for (std::size_t size = 0; size != device.bytes().size();) {  // the tap drains the pipe behind cupsd
        size = device.bytes().size();
        std::this_thread::sleep_for(300ms);
    }
}

// How many times each control number reached the ZPL queue's device, once the queue has
// printed everything it holds.
std::map<std::string, int> printedControlNumbers(PrivateCupsd& cupsd) {
    waitUntilPrinted(cupsd, kQueue);
    std::map<std::string, int> printed;
    for (const auto& label : testing_support::decodeZplLabels(cupsd.tap(kQueue).bytes())) {
        std::string number = "(no CODE128)";
        for (const auto& symbol : testing_support::scan(label.picture)) {
            if (symbol.type == testing_support::ZBAR_CODE128) number = symbol.data;
        }
        ++printed[number];
    }
    return printed;
}

// How many times `document` reached the device of a queue that passes documents on as they
// are, once the queue has printed everything it holds.
int timesPrinted(PrivateCupsd& cupsd, const std::string& queue, const std::string& document) {
    waitUntilPrinted(cupsd, queue);
    const std::string bytes = cupsd.tap(queue).bytes();
    int times = 0;
    for (auto at = bytes.find(document); at != std::string::npos; at = bytes.find(document, at + 1)) ++times;
    return times;
}

class PrintServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A job that has not got all its documents prints what it holds after a second.
        server_ = std::make_unique<PrivateCupsd>(CupsdSettings{0, 0, "127.0.0.1", false, 1});
        if (!server_->unavailable().empty()) return;
        server_->addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
        cups_testing::addPassThroughQueue(*server_, kPdfQueue, "application/pdf");
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (!server_->unavailable().empty()) GTEST_SKIP() << server_->unavailable();
        server_->tap(kQueue).clear();
        server_->tap(kPdfQueue).clear();
        std::string pattern = (fs::temp_directory_path() / "stations-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        if (!root_.empty()) fs::remove_all(root_);
    }

    std::vector<Station> stations(int records) const {
        std::vector<Station> made;
        for (int number = 1; number <= kStations; ++number) made.push_back(station(root_, number, server_->tcpServer(), records));
        return made;
    }

    static std::unique_ptr<PrivateCupsd> server_;
    fs::path root_;
};

std::unique_ptr<PrivateCupsd> PrintServer::server_;

TEST_F(PrintServer, EveryLabelOfEightStationsArrivesExactlyOnce) {
    const auto docks = stations(kLabelsPerStation);
    const auto results = runAtOnce(docks, [] { return std::vector<Interaction>{}; });
    for (std::size_t index = 0; index < docks.size(); ++index) {
        EXPECT_EQ(results[index].exitStatus, 0) << "station " << docks[index].number() << ":\n" << lastLines(results[index]);
    }
    std::map<std::string, int> expected;
    for (int station = 1; station <= kStations; ++station) {
        for (int record = 1; record <= kLabelsPerStation; ++record) expected[controlNumber(station, record)] = 1;
    }
    EXPECT_EQ(printedControlNumbers(*server_), expected);
}

// Every station counts here; the last one to arrive runs `last`, the others wait for it.
class Meeting {
public:
    explicit Meeting(int expected) : waiting_(expected) {}
    void arrive(const std::function<void()>& last) {
        std::unique_lock lock(mutex_);
        if (--waiting_ == 0) {
            last();
            met_.notify_all();
            return;
        }
        met_.wait_for(lock, 60s, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable met_;
    int waiting_;
};

// The server stops answering (its host hangs or drops off the network) once every station
// has issued a few labels, and comes back while each station's failure message is still
// open; so every ClosePort finds it there again. Labels that were on their way may print or
// not, but none twice.
TEST_F(PrintServer, AServerThatStopsAnsweringGivesEveryStation1101AndPrintsNothingTwice) {
    auto docks = stations(300);  // no station reaches its end before the server goes
    Meeting printing(kStations);
    Meeting failed(kStations);
    const pid_t cupsd = server_->pid();
    const auto results = runAtOnce(docks, [&] {
        return std::vector<Interaction>{
            {"status: 5レコード目", [&](RunningProcess&) { printing.arrive([cupsd] { ::kill(cupsd, SIGSTOP); }); }},
            {"box: ", [&](RunningProcess&) { failed.arrive([cupsd] { ::kill(cupsd, SIGCONT); }); }},
        };
    });
    ::kill(cupsd, SIGCONT);  // whatever happened above
    for (std::size_t index = 0; index < docks.size(); ++index) {
        SCOPED_TRACE("station " + std::to_string(docks[index].number()));
        EXPECT_EQ(results[index].exitStatus, 1) << lastLines(results[index]);
        EXPECT_EQ(boxes(results[index]), std::vector<std::string>{kCommunicationBox});
        EXPECT_EQ(lastIssueResult(docks[index]), kCommunicationError);
    }
    const auto printed = printedControlNumbers(*server_);
    for (const auto& [number, times] : printed) {
        EXPECT_EQ(times, 1) << number;
        EXPECT_TRUE(number.starts_with("ST")) << number;
    }
}

// A batch of held labels goes to a PDF queue, one document a label, and the link to the
// server breaks after cupsd has taken the first two documents: the job cannot be cancelled,
// and cupsd prints what it holds once it stops waiting for the rest. The control does not
// send those labels again at ClosePort, where the link is back: they print once, the one
// that never arrived not at all, and the failure is reported.
TEST_F(PrintServer, LabelsOfABatchCutOffOnTheWayPrintOnceNotTwice) {
    const std::string server = server_->tcpServer();
    testing_support::TcpRelay link("127.0.0.1", std::stoi(server.substr(server.rfind(':') + 1)));
    const auto job = testing_support::sampleJobs()[0];
    const bcpctrl::LabelFormat format = testing_support::sampleFormat(job);
    const auto records = testing_support::sampleLabels(job, format);
    std::ofstream(root_ / "printers.json") << R"({"printers": {"Dock": {"type": "cups", "queue": ")" << kPdfQueue
                                           << R"(", "server": ")" << link.address() << R"("}}})";
    auto pictures = std::make_shared<testing_support::KeptDrawnPictures>();
    bcpctrl::BcpCtrlOptions options;
    options.environment = [system = root_.string()](const std::string& name) -> std::optional<std::string> {
        return name == bcpctrl::kSystemDirVariable ? std::optional<std::string>(system) : std::nullopt;
    };
    options.pictures = pictures;
    bcpctrl::BcpCtrl control(options);
    frame::ResultCode result = 0;
    control.setUsePrinter(format.usePrinter);
    control.setPortSetting("DRV:Dock");
    std::string path = testing_support::sampleFormatFile(job).string();
    control.LoadFormat(path, result);
    std::int16_t portCode = frame::kPortCodeDriver;
    control.OpenPort(portCode, result);
    ASSERT_EQ(result, 0);
    std::vector<frame::ResultCode> answers;  // of every Issue, and of ClosePort
    const auto issue = [&](const bcpctrl::FieldValues& values) {
        for (const auto& [number, text] : values) {
            std::string field = text;
            control.SetField(number, field, result);
        }
        std::string status;
        control.Issue(1, 0, status, result);
        answers.push_back(result);
    };
    ASSERT_TRUE(server_->pause(kPdfQueue));  // the first label's job waits, so the next ones are held
    issue(records[0]);
    ASSERT_EQ(pictures->pdfs.size(), 1u);
    // Cut when cupsd answers a batch's second document: a label's PDF after the first.
    link.cutOnAnswerAfter(pictures->pdfs[0].size() * 3 / 2);
    for (std::size_t record = 1; record < 4; ++record) issue(records[record]);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    // Until the control has tried to cancel the job, and then to ask about the queue again.
    while (link.connectionsWhileCut() < 2 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(link.isCut()) << "the held labels were not sent";
    link.restore();
    server_->resume(kPdfQueue);
    control.ClosePort(result);
    answers.push_back(result);
    // The failure reaches the host: at ClosePort when the watcher sent the batch, at an
    // Issue when that Issue did (on a slow machine the batch is due before the last one).
    EXPECT_NE(std::find(answers.begin(), answers.end(), frame::resultCodeFor(1101)), answers.end())
        << "the control does not say that labels may be missing";
    // Labels 2 to 4 in one batch cut after label 3 print 1, 1, 0 times; held longer, a label
    // left for a later batch goes at ClosePort. Never twice.
    EXPECT_EQ(timesPrinted(*server_, kPdfQueue, pictures->pdfs[0]), 1);
    for (std::size_t label = 1; label < pictures->pdfs.size(); ++label) {
        EXPECT_LE(timesPrinted(*server_, kPdfQueue, pictures->pdfs[label]), 1) << "label " << label + 1;
    }
}

// An IPv4 address of this machine that is not on the loopback interface; empty when it has
// none.
std::string outsideAddress() {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return {};
    std::string found;
    for (const ifaddrs* entry = interfaces; entry != nullptr && found.empty(); entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN];
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) found = text;
    }
    ::freeifaddrs(interfaces);
    return found;
}

// The status line cupsd answers a plain, unencrypted HTTP request with.
std::string unencryptedAnswer(const std::string& host, int port) {
    const int connection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &server.sin_addr);
    std::string answer;
    if (::connect(connection, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0) {
        const std::string request = "GET /printers/ HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        [[maybe_unused]] const auto sent = ::send(connection, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[256];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got > 0) answer.assign(buffer, static_cast<std::size_t>(got));
    }
    ::close(connection);
    return answer.substr(0, answer.find('\r'));
}

// cupsd asks for encryption only of clients that are not on the loopback interface, so the
// station connects through another address of this machine where it has one. Where it has
// none, the station asks for encryption itself (CUPS_ENCRYPTION), which a site can also do.
TEST(EncryptedServer, AStationPrintsThroughAServerThatRequiresEncryption) {
    const std::string address = outsideAddress();
    PrivateCupsd server(CupsdSettings{0, 0, address.empty() ? "127.0.0.1" : address, true, 0});
    if (!server.unavailable().empty()) GTEST_SKIP() << server.unavailable();
    server.addQueue(kQueue, "drv:///sample.drv/zebra.ppd");
    std::string pattern = (fs::temp_directory_path() / "encrypted-XXXXXX").string();
    const fs::path root = ::mkdtemp(pattern.data());
    Station dock = station(root, 1, server.tcpServer(), 5);
    if (address.empty()) {
        dock.setEnvironment("CUPS_ENCRYPTION", "Required");
    } else {
        const int port = std::stoi(server.tcpServer().substr(address.size() + 1));
        EXPECT_EQ(unencryptedAnswer(address, port), "HTTP/1.1 426 Upgrade Required") << "cupsd lets plain requests in";
    }
    const ProcessResult result = dock.run();
    EXPECT_EQ(result.exitStatus, 0) << lastLines(result);
    std::map<std::string, int> expected;
    for (int record = 1; record <= 5; ++record) expected[controlNumber(1, record)] = 1;
    EXPECT_EQ(printedControlNumbers(server), expected);
    fs::remove_all(root);
}

}  // namespace
