// SPDX-License-Identifier: MIT
#include "bcpctrl/bcp_ctrl.h"
#include "printers/files/label_line.h"

#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "test_support.h"

namespace bcpctrl {
namespace {

using frame::ResultCode;
using Json = nlohmann::json;
using testing::fakeEnvironment;
using testing::TempDir;

constexpr ResultCode code(std::uint16_t errorNumber) { return frame::resultCodeFor(errorNumber); }

std::string formatText(int usePrinter, double firstFieldXMm) {
    const auto field = [](int number, double xMm, const char* defaultText) {
        return Json{{"number", number}, {"type", "text"}, {"xMm", xMm}, {"yMm", 2.0}, {"widthMm", 50.0},
                    {"heightMm", 5.0}, {"rotation", 0}, {"default", defaultText}};
    };
    const Json barcode{{"number", 11}, {"type", "barcode"}, {"symbology", "EAN13"}, {"xMm", 5.0}, {"yMm", 20.0},
                       {"widthMm", 40.0}, {"heightMm", 15.0}, {"rotation", 90}};
    return Json{{"usePrinter", usePrinter},
                {"label", {{"widthMm", 60.0}, {"heightMm", 40.0}}},
                {"fields", {field(1, firstFieldXMm, ""), field(2, 2.0, "D"), barcode}}}
        .dump();
}

constexpr const char* kPrinters = R"({
  "printers": {
    "TEC B-374": {"type": "virtual", "output": "labels.jsonl", "confirmEach": true},
    "Blocked": {"type": "virtual", "output": "printers.json/labels.jsonl"},
    "Nested": {"type": "virtual", "output": "made/on/open.jsonl"},
    "Full": {"type": "virtual", "output": "/dev/full"},
    "Refuses": {"type": "virtual", "output": "r.jsonl", "loadFormatError": 1301, "openPortError": {"result": -2147024891}},
    "ClaimsOpen": {"type": "virtual", "output": "c.jsonl", "openPortError": {"result": 0}},
    "Fifo": {"type": "virtual", "output": "fifo.jsonl"},
    "Pictures": {"type": "image", "folder": "pictures", "dpi": 300},
    "Both": {"type": "virtual", "output": "both.jsonl", "images": "both"},
    "Document": {"type": "pdf", "output": "out/labels.pdf"},
    "NoFolder": {"type": "image", "folder": "printers.json"}
  },
  "serialPorts": {
    "COM1": {"type": "virtual", "output": "com1.jsonl", "confirmEach": true, "delayMs": 1,
             "issueError": {"label": 2, "error": 1003, "status": "06"},
             "status": [{"afterLabel": 1, "text": "11"}, {"afterLabel": 2, "text": "02"}]}
  }})";

// One control as the host drives it, with the by-reference arguments hidden.
class Session {
public:
    explicit Session(BcpCtrlOptions options) : control(std::move(options)) {
        control.setUsePrinter(1);
        control.setPortSetting("DRV:TEC B-374");
        control.connectOnStatus([this](const std::string& printerStatus, ResultCode eventResult) {
            events.push_back({printerStatus, eventResult});
        });
    }
    ResultCode loadFormat(std::string name) { return checked(control.LoadFormat(name, result)); }
    ResultCode openPort(std::int16_t portCode) { return checked(control.OpenPort(portCode, result)); }
    ResultCode setField(std::int16_t number, std::string text) { return checked(control.SetField(number, text, result)); }
    ResultCode issue(std::int16_t copies = 1, std::int16_t cut = 0) {
        return checked(control.Issue(copies, cut, status, result));
    }
    ResultCode closePort() { return checked(control.ClosePort(result)); }

    BcpCtrl control;
    ResultCode result = 12345;
    std::string status = "unset";
    std::vector<StatusEvent> events;

private:
    ResultCode checked(frame::VbBool ret) {
        EXPECT_TRUE(ret == frame::kVbTrue || ret == frame::kVbFalse);
        EXPECT_EQ(frame::isTrue(ret), result == 0);
        return result;
    }
};

class BcpCtrlTest : public ::testing::Test {
protected:
    BcpCtrlTest() {
        system.write("printers.json", kPrinters);
        system.write("formats/LABEL1.json", formatText(1, 2.0));
        system.write("formats/OTHER.json", formatText(2, 2.0));
        system.write("formats/OVERLAP.json", formatText(1, 20.0));
        ::mkfifo((system.path() / "fifo.jsonl").c_str(), 0600);
    }
    BcpCtrlOptions options() const {
        BcpCtrlOptions options;
        options.environment = fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", system.path().string()},
                                               {"BCPCTRL_TRACE", (system.path() / "trace.jsonl").string()}});
        return options;
    }
    std::vector<Json> outputLines(const std::string& file) const {
        std::vector<Json> lines;
        for (const std::string& line : system.lines(file)) {
            lines.push_back(Json::parse(line));
        }
        return lines;
    }

    TempDir system;
};

TEST_F(BcpCtrlTest, WritesOneLinePerLabelWithEveryNonEmptyFieldInNumberOrder) {
    Session session(options());
    ASSERT_EQ(session.loadFormat("LABEL1"), 0);
    ASSERT_EQ(session.openPort(frame::kPortCodeDriver), 0);
    EXPECT_EQ(session.setField(1, "A"), 0);
    EXPECT_EQ(session.setField(11, "4901234567894"), 0);
    EXPECT_EQ(session.issue(), 0);
    EXPECT_EQ(session.status, "00");
    EXPECT_EQ(session.setField(1, std::string(100000, 'x')), 0);
    EXPECT_EQ(session.setField(2, ""), 0);
    EXPECT_EQ(session.issue(), 0);
    EXPECT_EQ(session.closePort(), 0);
    ASSERT_EQ(session.openPort(frame::kPortCodeDriver), 0);
    EXPECT_EQ(session.issue(), 0);
    EXPECT_EQ(system.lines("labels.jsonl").at(2).substr(0, 10), R"({"label":1)") << "numbers restart at each open";
    EXPECT_EQ(system.lines("labels.jsonl").at(0), R"({"label":1,"copies":1,"cut":false,"fields":{"1":"A","2":"D","11":"4901234567894"}})");
    const auto lines = outputLines("labels.jsonl");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], Json::parse(R"({"label":2,"copies":1,"cut":false,"fields":{"1":")" + std::string(100000, 'x') +
                                    R"(","11":"4901234567894"}})"));
    session.control.deliverPendingEvents();
    EXPECT_TRUE(session.events.empty()) << "driver ports never confirm labels";
}

struct ScenarioRow {
    int row;
    std::function<ResultCode(Session&)> lastCall;
    ResultCode expected;
};

TEST_F(BcpCtrlTest, EachFailureAnswersItsOwnResultCode) {
    const auto openAt = [](const char* setting, std::int16_t portCode) {
        return [=](Session& s) { s.control.setPortSetting(setting); return s.openPort(portCode); };
    };
    const std::vector<ScenarioRow> rows{
        {1, [](Session& s) { return s.setField(1, "x"); }, code(1304)},
        {2, [](Session& s) { return s.issue(); }, code(1001)},
        {3, [](Session& s) { s.openPort(1); return s.issue(); }, code(1304)},
        {4, [](Session& s) { return s.closePort(); }, code(1001)},
        {5, [](Session& s) { s.openPort(1); return s.openPort(1); }, code(1002)},
        {6, [](Session& s) { return s.openPort(0); }, code(2100)},
        {7, [](Session& s) { return s.openPort(3); }, code(2100)},
        {8, [](Session& s) { return s.openPort(2); }, code(3004)},
        {9, openAt("DRV:", 1), code(3004)},
        {10, openAt("COM1:9600,E,8,3", 2), code(3004)},
        {11, openAt("DRV:Nobody", 1), code(1201)},
        {12, openAt("COM5:9600,E,8,1", 2), code(1000)},
        {13, openAt("DRV:Blocked", 1), code(1000)},
        {14, openAt("DRV:Nested", 1), 0},
        {15, [&](Session& s) { s.loadFormat("LABEL1"); openAt("DRV:Full", 1)(s); return s.issue(); }, code(1003)},
        {16, [](Session& s) { s.loadFormat("LABEL1"); return s.setField(3, "x"); }, code(1303)},
        {17, [](Session& s) { return s.loadFormat("MISSING"); }, code(1300)},
        {18, [](Session& s) { return s.loadFormat("OTHER"); }, code(1301)},
        {19, [](Session& s) { return s.loadFormat("OVERLAP"); }, code(1302)},
        {20, [](Session& s) { s.loadFormat("LABEL1"); s.loadFormat("MISSING"); return s.setField(1, "x"); }, code(1304)},
        {21, [](Session& s) { s.openPort(1); s.closePort(); return s.closePort(); }, code(1001)},
        {22, [](Session& s) { s.control.setUsePrinter(2); return s.loadFormat("OTHER"); }, 0},
        {23, [](Session& s) { return s.issue(0, 0); }, code(2100)},
        {24, [](Session& s) { return s.issue(1000, 0); }, code(2100)},
        {25, [](Session& s) { return s.issue(1, 2); }, code(2101)},
        {26, [](Session& s) { return s.issue(1, -1); }, code(2101)},
        {27, [](Session& s) { s.loadFormat("LABEL1"); s.openPort(1); return s.issue(999, 1); }, 0},
        {28, [](Session& s) { s.loadFormat("LABEL1"); s.openPort(1); s.setField(11, "490123456789X"); return s.issue(); },
         code(1302)},
        {29, [](Session& s) { s.loadFormat("LABEL1"); s.openPort(1); s.setField(11, "4901234567890"); return s.issue(); },
         code(1302)},
        {30, openAt("DRV:NoFolder", 1), code(1000)},
        {31, openAt("DRV:Fifo", 1), code(1000)},  // refused at once, not held until a reader comes
    };
    for (const ScenarioRow& row : rows) {
        SCOPED_TRACE(row.row);
        Session session(options());
        EXPECT_EQ(row.lastCall(session), row.expected);
    }
}

TEST_F(BcpCtrlTest, LoadingAFormatResetsEveryFieldToItsDefault) {
    Session session(options());
    session.loadFormat("LABEL1");
    session.setField(2, "changed");
    session.loadFormat(system.path() / "formats" / "LABEL1");
    EXPECT_EQ(session.control.fieldValues().at(2), "D");
    ASSERT_NE(session.control.loadedFormat(), nullptr);
    EXPECT_EQ(session.control.loadedFormat()->fields.size(), 3u);
}

TEST_F(BcpCtrlTest, SystemDirectoryFaultsAre3011AndAMissingListIs1200) {
    BcpCtrlOptions noSystemPath;
    noSystemPath.systemPath = "";
    noSystemPath.environment = fakeEnvironment({});
    Session unusable(std::move(noSystemPath));
    EXPECT_EQ(unusable.loadFormat("LABEL1"), code(3011));
    EXPECT_EQ(unusable.openPort(1), code(3011));
    EXPECT_EQ(unusable.loadFormat((system.path() / "formats" / "LABEL1").string()), 0);

    std::filesystem::remove(system.path() / "printers.json");
    Session withoutList(options());
    EXPECT_EQ(withoutList.loadFormat("LABEL1"), 0) << "no list, no simulation at LoadFormat";
    EXPECT_EQ(withoutList.openPort(1), code(1200));
}

TEST_F(BcpCtrlTest, SimulatedAnswersReplaceLoadFormatAndOpenPort) {
    Session session(options());
    session.loadFormat("LABEL1");
    session.control.setPortSetting("DRV:Refuses");
    EXPECT_EQ(session.loadFormat("LABEL1"), code(1301));
    EXPECT_EQ(session.control.loadedFormat(), nullptr);
    EXPECT_EQ(session.openPort(1), -2147024891);
    session.control.setPortSetting("DRV:ClaimsOpen");
    EXPECT_EQ(session.openPort(1), 0);
    EXPECT_EQ(session.issue(), code(1001)) << "a simulated answer opens nothing";
}

TEST_F(BcpCtrlTest, SerialSimulatorFailsTheNthIssueAndQueuesStatusReports) {
    Session session(options());
    session.control.setPortSetting("COM1:9600,E,8,1");
    session.loadFormat("LABEL1");
    ASSERT_EQ(session.openPort(frame::kPortCodeSerial), 0);
    EXPECT_EQ(session.issue(), 0);
    EXPECT_TRUE(session.events.empty()) << "events wait for deliverPendingEvents";
    EXPECT_EQ(session.issue(), code(1003));
    EXPECT_EQ(session.status, "06");
    EXPECT_EQ(session.issue(), 0);
    session.control.deliverPendingEvents();
    const StatusEvent report{"", frame::kPrinterStatusReport};
    const auto withText = [&](const char* text) { StatusEvent e = report; e.printerStatus = text; return e; };
    EXPECT_EQ(session.events, (std::vector<StatusEvent>{withText("40"), withText("11"), withText("40"), withText("02")}));
    const auto lines = outputLines("com1.jsonl");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["label"], 2);
}

TEST_F(BcpCtrlTest, EventsQueuedDuringDeliveryWaitForTheNextOne) {
    Session session(options());
    session.control.setPortSetting("COM1:9600,E,8,1");
    session.loadFormat("LABEL1");
    session.openPort(frame::kPortCodeSerial);
    int delivered = 0;
    session.control.connectOnStatus([&](const std::string&, ResultCode) {
        if (++delivered == 1) {
            session.issue();  // fails as the simulated second call, queues nothing
            session.issue();
        }
    });
    session.issue();
    session.control.deliverPendingEvents();
    EXPECT_EQ(delivered, 2);
    session.control.deliverPendingEvents();
    EXPECT_EQ(delivered, 4);
}

TEST_F(BcpCtrlTest, TraceRecordsEveryCallAndDeliveredEventAsOneLine) {
    {
        Session session(options());
        session.control.setPortSetting("COM1:9600,E,8,1");
        session.loadFormat("LABEL1");
        session.openPort(2);
        session.setField(1, "a\xff");
        session.issue();
        session.control.deliverPendingEvents();
        session.closePort();
    }
    const std::vector<std::string> expected{
        R"({"op":"UsePrinter","dispid":3,"args":[1]})",
        R"({"op":"PortSetting","dispid":1,"args":["DRV:TEC B-374"]})",
        R"({"op":"PortSetting","dispid":1,"args":["COM1:9600,E,8,1"]})",
        R"({"op":"LoadFormat","dispid":13,"args":["LABEL1"],"ret":true,"result":0})",
        R"({"op":"OpenPort","dispid":14,"args":[2],"ret":true,"result":0})",
        "{\"op\":\"SetField\",\"dispid\":17,\"args\":[1,\"a\xEF\xBF\xBD\"],\"ret\":true,\"result\":0}",
        R"({"op":"Issue","dispid":12,"args":[1,0],"ret":true,"result":0,"status":"00"})",
        R"({"op":"OnStatus","args":["40",-2146827186],"result":-2146827186,"status":"40"})",
        R"({"op":"OnStatus","args":["11",-2146827186],"result":-2146827186,"status":"11"})",
        R"({"op":"ClosePort","dispid":6,"args":[],"ret":true,"result":0})",
    };
    EXPECT_EQ(system.lines("trace.jsonl"), expected);
    EXPECT_EQ(system.lines("com1.jsonl").at(0), "{\"label\":1,\"copies\":1,\"cut\":false,\"fields\":{\"1\":\"a\xEF\xBF\xBD\",\"2\":\"D\"}}");
}

}  // namespace
}  // namespace bcpctrl

namespace bcpctrl {
namespace {

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Width and height from a PNG file's header.
std::pair<int, int> pngSize(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    const auto at = [&](int offset) { return header[offset] << 24 | header[offset + 1] << 16 | header[offset + 2] << 8 | header[offset + 3]; };
    return {at(16), at(20)};
}

std::string commandOutput(const std::string& command) {
    std::string output;
    const std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), pclose);
    for (char buffer[256]; pipe && fgets(buffer, sizeof buffer, pipe.get()) != nullptr;) output += buffer;
    return output;
}

TEST_F(BcpCtrlTest, ImagePrintersWriteOnePictureACopyInAFolderPerJob) {
    Session session(options());
    session.control.setPortSetting("DRV:Pictures");
    ASSERT_EQ(session.loadFormat("LABEL1"), 0);
    ASSERT_EQ(session.openPort(1), 0);
    session.setField(11, "4901234567894");
    EXPECT_EQ(session.issue(3, 0), 0);
    session.setField(11, "4901234567890");
    EXPECT_EQ(session.issue(), code(1302)) << "a wrong check digit";
    session.setField(11, "490123456789");
    EXPECT_EQ(session.issue(1, 1), 0);
    EXPECT_EQ(session.closePort(), 0);
    ASSERT_EQ(session.openPort(1), 0);
    const auto job = system.path() / "pictures" / "job-0001";
    EXPECT_EQ(filesIn(job),
              (std::vector<std::string>{"label-00001.png", "label-00002.png", "label-00003.png", "label-00004.png"}));
    EXPECT_EQ(filesIn(system.path() / "pictures"), (std::vector<std::string>{"job-0001", "job-0002"}));
    EXPECT_EQ(pngSize(job / "label-00004.png"), (std::pair<int, int>{709, 472})) << "60 x 40 mm at 300 dpi";
}

TEST_F(BcpCtrlTest, TheVirtualPrinterRecordsCopiesAndCutBesideItsPictures) {
    Session session(options());
    session.control.setPortSetting("DRV:Both");
    session.loadFormat("LABEL1");
    ASSERT_EQ(session.openPort(1), 0);
    session.setField(11, "4901234567894");
    EXPECT_EQ(session.issue(2, 1), 0);
    session.setField(11, "49012345678");
    EXPECT_EQ(session.issue(), code(1302)) << "too short";
    session.setField(11, "");
    EXPECT_EQ(session.issue(), 0) << "an empty barcode field prints nothing";
    const auto lines = outputLines("both.jsonl");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Json::parse(R"({"label":1,"copies":2,"cut":true,"fields":{"2":"D","11":"4901234567894"}})"));
    EXPECT_EQ(lines[1], Json::parse(R"({"label":3,"copies":1,"cut":false,"fields":{"2":"D"}})"));
    EXPECT_EQ(filesIn(system.path() / "both" / "job-0001").size(), 3u);
}

TEST_F(BcpCtrlTest, APdfJobIsOneFileWithAPagePerLabelWrittenAtClosePort) {
    if (std::system("command -v pdfinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdfinfo (poppler-utils) is not installed";
    const auto folder = system.path() / "out";
    system.write("out/labels.pdf", "the job before");
    system.write("out/.labels.pdf.lock", "");  // left by a killed job: it holds nothing
    Session session(options());
    session.control.setPortSetting("DRV:Document");
    session.loadFormat("LABEL1");
    ASSERT_EQ(session.openPort(1), 0);
    session.setField(11, "4901234567894");
    EXPECT_EQ(session.issue(2, 0), 0);
    EXPECT_EQ(session.issue(1, 1), 0);
    EXPECT_EQ(system.lines("out/labels.pdf"), std::vector<std::string>{"the job before"}) << "nothing before ClosePort";
    Session second(options());
    second.control.setPortSetting("DRV:Document");
    EXPECT_EQ(second.openPort(1), code(1000)) << "a second job would replace the first one's labels";
    EXPECT_EQ(session.closePort(), 0);
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"labels.pdf"}) << "no temporary or lock file left";
    const std::string info = commandOutput("pdfinfo " + (folder / "labels.pdf").string());
    EXPECT_NE(info.find("Pages:           3\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Page size:       170.079 x 113.386 pts"), std::string::npos) << info;
    EXPECT_EQ(second.openPort(1), 0) << "free once the first job has ended";
}

// What stands at an output before the job, made by the test in a folder of its own.
enum class Node { CharacterDevice, BlockDevice, Fifo, Socket, Directory, LinkToNothing, LinkToFile };

bool makeNode(Node node, const std::filesystem::path& path) {
    switch (node) {
        case Node::CharacterDevice: return ::mknod(path.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;  // /dev/null's
        case Node::BlockDevice: return ::mknod(path.c_str(), S_IFBLK | 0600, ::makedev(7, 255)) == 0;  // a loop device's
        case Node::Fifo: return ::mkfifo(path.c_str(), 0600) == 0;
        case Node::Socket: {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.string().copy(address.sun_path, sizeof address.sun_path - 1);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            return bound;
        }
        case Node::Directory: return std::filesystem::create_directory(path);
        case Node::LinkToNothing: return ::symlink("nowhere", path.c_str()) == 0;
        case Node::LinkToFile:
            std::ofstream(path.parent_path() / "real.pdf") << "the job before";
            return ::symlink("real.pdf", path.c_str()) == 0;
    }
    return false;
}

struct NodeRow {
    int row;
    const char* writer;  // "pdf", "virtual", "image" (the node is its folder) or "trace" (the call log)
    Node node;
    ResultCode openPort;
};

// Only a regular file or a character device is written to, and nothing else is ever
// replaced: a device is written through, the rest refused at OpenPort (the call log is
// then not kept).
TEST_F(BcpCtrlTest, NoWriterReplacesOrWaitsOnWhatStandsAtItsOutput) {
    const std::vector<NodeRow> rows{
        {1, "pdf", Node::CharacterDevice, 0},
        {2, "pdf", Node::BlockDevice, code(1000)},
        {3, "pdf", Node::Fifo, code(1000)},
        {4, "pdf", Node::Socket, code(1000)},
        {5, "pdf", Node::Directory, code(1000)},
        {6, "pdf", Node::LinkToNothing, code(1000)},
        {7, "pdf", Node::LinkToFile, 0},  // the file it leads to is replaced, the link stays
        {8, "virtual", Node::CharacterDevice, 0},
        {9, "virtual", Node::BlockDevice, code(1000)},
        {10, "virtual", Node::Socket, code(1000)},
        {11, "virtual", Node::Directory, code(1000)},
        {12, "virtual", Node::LinkToNothing, code(1000)},
        {13, "image", Node::CharacterDevice, code(1000)},
        {14, "image", Node::LinkToNothing, code(1000)},
        {15, "trace", Node::BlockDevice, 0},
        {16, "trace", Node::Fifo, 0},
    };
    for (const NodeRow& row : rows) {
        SCOPED_TRACE(row.row);
        const TempDir folder;
        const auto node = folder.path() / "node";
        if (!makeNode(row.node, node)) GTEST_SKIP() << "cannot make the node (mknod needs root): " << std::strerror(errno);
        struct stat before {};
        ASSERT_EQ(::lstat(node.c_str(), &before), 0);
        const std::string writer = row.writer;
        const Json entry = writer == "image" ? Json{{"type", "image"}, {"folder", node.string()}}
                                             : Json{{"type", writer == "pdf" ? "pdf" : "virtual"},
                                                    {"output", writer == "trace" ? "lines.jsonl" : node.string()}};
        system.write("printers.json", Json{{"printers", {{"P", entry}}}}.dump());
        BcpCtrlOptions options;
        options.environment = fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", system.path().string()},
                                               {"BCPCTRL_TRACE", writer == "trace" ? node.string() : ""}});
        {
            Session session(std::move(options));
            session.control.setPortSetting("DRV:P");
            ASSERT_EQ(session.loadFormat("LABEL1"), 0);
            ASSERT_EQ(session.openPort(1), row.openPort);
            if (row.openPort == 0) {
                EXPECT_EQ(session.issue(), 0);
                EXPECT_EQ(session.closePort(), 0);
            }
        }
        struct stat after {};
        ASSERT_EQ(::lstat(node.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_rdev, before.st_rdev);
        const std::vector<std::string> left = row.node == Node::LinkToFile ? std::vector<std::string>{"node", "real.pdf"}
                                                                            : std::vector<std::string>{"node"};
        EXPECT_EQ(filesIn(folder.path()), left) << "no temporary or lock file";
        if (row.node == Node::LinkToFile) {
            EXPECT_EQ(commandOutput("head -c 4 " + (folder.path() / "real.pdf").string()), "%PDF");
        }
    }
}

// A file-size limit makes the system refuse the writes, as a full disk would.
TEST_F(BcpCtrlTest, AWriteTheSystemRefusesIs1003AndLeavesNoFile) {
    for (const char* printer : {"DRV:Pictures", "DRV:Both", "DRV:Document"}) {
        SCOPED_TRACE(printer);
        Session session(options());
        session.control.setPortSetting(printer);
        session.loadFormat("LABEL1");
        ASSERT_EQ(session.openPort(1), 0);
        session.setField(11, "4901234567894");
        struct rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = saved;
        tiny.rlim_cur = 64;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
        const ResultCode issued = session.issue();
        const ResultCode closed = session.closePort();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, savedSignal);
        EXPECT_TRUE(issued == code(1003) || closed == code(1003)) << issued << " " << closed;
        EXPECT_TRUE(filesIn(system.path() / "pictures" / "job-0001").empty());
        EXPECT_TRUE(filesIn(system.path() / "both" / "job-0001").empty());
        EXPECT_TRUE(filesIn(system.path() / "out").empty());
        EXPECT_TRUE(system.lines("both.jsonl").empty());
    }
}

// The label line is written without the JSON library, for speed; it must come out byte for
// byte as the library writes it, bad UTF-8 included.
TEST(LabelLine, WritesEveryTextAsTheJsonLibraryDoes) {
    const std::vector<std::string> texts{
        "plain", "\"\\/", "\b\f\n\r\t\x01\x1f\x7f", "入荷 ～", "\xF0\x9F\x98\x80",
        "\x80", "\xC0\xAF", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5x", "\xFF\xFE",
        "\xE3\x81", "\xE3\x81" "A", "\xF0\x9F\x98" "x", "a\xF0", "\xE3\x81\x82\x81\x82", "",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const FieldValues values{{1, text}, {2, "x"}, {32767, text}};
        nlohmann::ordered_json fields = nlohmann::ordered_json::object();
        for (const auto& [number, value] : values) {
            if (!value.empty()) fields[std::to_string(number)] = value;
        }
        const nlohmann::ordered_json reference{{"label", 7}, {"copies", 2}, {"cut", true}, {"fields", fields}};
        EXPECT_EQ(printers::files::labelLine(7, 2, true, values),
                  reference.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    }
}

}  // namespace
}  // namespace bcpctrl
