// SPDX-License-Identifier: MIT
#include "core/printer_list.h"
#include "printers/files/virtual_printer.h"
#include "printers/registry.h"

#include <gtest/gtest.h>

#include <tuple>

#include "test_support.h"

namespace bcpctrl {
namespace {

using testing::fakeEnvironment;

Outcome<PrinterList> parse(std::string_view text) { return parsePrinterList(text, printers::installedKinds()); }

TEST(PrinterList, ReadsEverySimulatorOption) {
    const auto list = parse(R"({
      "printers": {"TEC B-374": {"type": "virtual", "output": "out\\labels.jsonl",
                                 "loadFormatError": 1300, "openPortError": {"result": 0}}},
      "serialPorts": {"com1": {"type": "virtual", "output": "/abs/com1.jsonl", "confirmEach": true,
                               "delayMs": 5, "status": [{"afterLabel": 2, "text": "11"}],
                               "issueError": [{"label": 3, "error": 1003, "status": "06"},
                                              {"label": 4, "result": 2148140008}]}}})");
    ASSERT_TRUE(list.ok());
    const auto* driver = dynamic_cast<const printers::files::VirtualEntry*>(list.value().find(DriverPort{"TEC B-374"}));
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->output, "out\\labels.jsonl");
    EXPECT_EQ(driver->simulation.loadFormatAnswer, frame::resultCodeFor(1300));
    EXPECT_EQ(driver->simulation.openPortAnswer, 0);
    const auto* serial = dynamic_cast<const printers::files::VirtualEntry*>(list.value().find(SerialPort{"COM1", 9600, 'E', 8, 1}));
    ASSERT_NE(serial, nullptr);
    const printers::files::Simulation& simulation = serial->simulation;
    EXPECT_TRUE(simulation.confirmEach);
    EXPECT_EQ(simulation.delayPerLabel.count(), 5);
    ASSERT_EQ(simulation.statusReports.size(), 1u);
    EXPECT_EQ(simulation.statusReports[0].text, "11");
    ASSERT_EQ(simulation.issueFailures.size(), 2u);
    EXPECT_EQ(simulation.issueFailures[0].result, frame::resultCodeFor(1003));
    EXPECT_EQ(simulation.issueFailures[0].statusText, "06");
    EXPECT_EQ(simulation.issueFailures[1].result, frame::resultCodeFor(1000));
    EXPECT_EQ(list.value().find(DriverPort{"tec b-374"}), nullptr);
}

TEST(PrinterList, MalformedListsAre1200) {
    const std::vector<std::pair<int, std::string>> rows{
        {1, "not json"},
        {2, "[]"},
        {3, R"({"printers": []})"},
        {4, R"({"printers": {"P": {"output": "o"}}})"},
        {5, R"({"printers": {"P": {"type": "file", "output": "o"}}})"},
        {6, R"({"printers": {"P": {"type": "virtual"}}})"},
        {7, R"({"printers": {"P": {"type": "virtual", "output": ""}}})"},
        {8, R"({"printers": {"P": {"type": "virtual", "output": "o", "openPortError": {"error": 1000, "result": 0}}}})"},
        {9, R"({"printers": {"P": {"type": "virtual", "output": "o", "openPortError": 0}}})"},
        {10, R"({"printers": {"P": {"type": "virtual", "output": "o", "openPortError": 65536}}})"},
        {11, R"({"printers": {"P": {"type": "virtual", "output": "o", "issueError": {"label": 1, "result": 4294967296}}}})"},
        {12, R"({"printers": {"P": {"type": "virtual", "output": "o", "issueError": {"label": 0, "error": 1003}}}})"},
        {13, R"({"printers": {"P": {"type": "virtual", "output": "o", "delayMs": -1}}})"},
        {14, R"({"printers": {"P": {"type": "virtual", "output": "o", "delayMs": 60001}}})"},
        {15, R"({"printers": {"P": {"type": "virtual", "output": "o", "status": {"afterLabel": 1, "text": "11"}}}})"},
        {16, R"({"printers": {"P": {"type": "virtual", "output": "o", "status": [{"afterLabel": 1}]}}})"},
        {17, R"({"printers": {"P": {"type": "virtual", "output": "o", "confirmEach": 1}}})"},
        {18, R"({"serialPorts": {"LPT1": {"type": "virtual", "output": "o"}}})"},
        {19, R"({"printers": {"P": {"type": "zpl"}}})"},
        {20, R"({"printers": {"P": {"type": "zpl", "device": "/dev/ttyS0", "host": "h"}}})"},
        {21, R"({"printers": {"P": {"type": "zpl", "host": "h", "port": 65536}}})"},
        {22, R"({"printers": {"P": {"type": "zpl", "host": ""}}})"},
        {23, R"({"serialPorts": {"COM1": {"type": "zpl", "device": "/dev/ttyS0", "flowControl": "hardware"}}})"},
        {24, R"({"printers": {"P": {"type": "zpl", "device": "/dev/ttyS0", "serial": "9600,X,8,1"}}})"},
        {25, R"({"printers": {"P": {"type": "zpl", "host": "h", "dotsPerInch": 50}}})"},
        {26, R"({"printers": {"P": {"type": "zpl", "host": "h", "graphics": "png"}}})"},
        {27, R"({"printers": {"P": {"type": "zpl", "host": "h", "writeTimeoutMs": 0}}})"},
        {28, R"({"printers": {"P": {"type": "cups"}}})"},
        {29, R"({"printers": {"P": {"type": "cups", "queue": ""}}})"},
        {30, R"({"printers": {"P": {"type": "cups", "queue": "Q", "server": "host:ipp"}}})"},
        {31, R"({"printers": {"P": {"type": "cups", "queue": "Q", "server": ""}}})"},
        {32, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "C:NAME.TTF"}}})"},
        {33, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "E:"}}})"},
        {34, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "NAME.TTF"}}})"},
        {35, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "E:A^FS.TTF"}}})"},
        {36, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "E:MY FONT.TTF"}}})"},
        {37, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": "E:フォント.TTF"}}})"},
        {38, R"({"printers": {"P": {"type": "zpl", "host": "h", "japaneseFont": true}}})"},
    };
    for (const auto& [row, text] : rows) {
        SCOPED_TRACE(row);
        EXPECT_EQ(parse(text).error(), ErrorNumber::PrinterListUnreadable);
    }
    EXPECT_TRUE(parse("{}").ok());
    EXPECT_TRUE(parse(R"({"printers": {"P": {"type": "zpl", "host": "h", "port": 9101, "dotsPerInch": 300,
      "cutter": true, "graphics": "hex", "japaneseFont": "R:Ja_font-1.TTF", "statusTimeoutMs": 500, "statusIntervalMs": 0, "connectTimeoutMs": 100},
      "S": {"type": "zpl", "device": "/dev/ttyS0", "serial": "19200,N,8,1"}},
      "serialPorts": {"COM2": {"type": "zpl", "device": "/dev/ttyUSB0", "flowControl": "rtscts", "writeTimeoutMs": 1}}})")
                    .ok());
    EXPECT_TRUE(parse(R"({"printers": {"P": {"type": "cups", "queue": "Q", "server": "[::1]:8631"}}})").ok());
}

// A program sets the fonts up while its window opens only when some destination draws.
TEST(PrinterList, EveryKindThatDrawsSaysSo) {
    const std::vector<std::tuple<int, std::string, bool>> rows{
        {1, R"({"printers": {"P": {"type": "virtual", "output": "o"}}})", false},
        {2, R"({"printers": {"P": {"type": "virtual", "output": "o", "images": "pictures"}}})", true},
        {3, R"({"printers": {"P": {"type": "pdf", "output": "o.pdf"}}})", true},
        {4, R"({"printers": {"P": {"type": "cups", "queue": "Q"}}})", true},
        {5, R"({"printers": {"P": {"type": "zpl", "host": "h"}}})", true},
        {6, R"({"printers": {"P": {"type": "virtual", "output": "o"}},
                "serialPorts": {"COM1": {"type": "zpl", "device": "/dev/ttyS0"}}})", true},
    };
    for (const auto& [row, text, draws] : rows) {
        SCOPED_TRACE(row);
        EXPECT_EQ(parse(text).value().anyDrawsLabels(), draws);
    }
}

// The installed control folder is configuration: what it names relatively is spooled.
TEST(PrinterList, RelativeOutputsFollowTheOutputDirectoryTheOwnSystemFolderOrTheSpool) {
    const auto port = [](EnvironmentLookup environment) {
        return PortContext{DriverPort{"P"}, std::move(environment), {}};
    };
    EXPECT_EQ(port(fakeEnvironment({})).outputPath("out/a.jsonl"), "/var/spool/bcpctrl/out/a.jsonl");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", "/sys"}})).outputPath("out/a.jsonl"), "/sys/out/a.jsonl");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_SYSTEM_DIR", "/sys"}, {"BCPCTRL_OUTPUT_DIR", "/tmp/o"}})).outputPath("a"),
              "/tmp/o/a");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_OUTPUT_DIR", "/tmp/o"}})).outputPath("out/a.jsonl"), "/tmp/o/out/a.jsonl");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_OUTPUT_DIR", "/tmp/o"}})).outputPath("/var/b.jsonl"), "/var/b.jsonl");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_DRIVES", "D=/mnt/d"}})).outputPath("D:\\out\\c.jsonl"), "/mnt/d/out/c.jsonl");
    EXPECT_EQ(port(fakeEnvironment({{"BCPCTRL_DRIVES", "D=/mnt/d"}})).outputPath("C:\\out\\c.jsonl"), std::nullopt);
}

}  // namespace
}  // namespace bcpctrl
