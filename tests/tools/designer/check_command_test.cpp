// SPDX-License-Identifier: MIT
// The check command: its exit status and lines for the sample formats and data, a data
// file with planted values, formats LoadFormat refuses and bad arguments; and once as the
// program a site's script runs.
#include "designer/check_command.h"

#include <sstream>

#include <gtest/gtest.h>

#include "designer_test_files.h"
#include "planted_data.h"
#include "process.h"
#include "temp_dir.h"

namespace designer {
namespace {

using designer_testing::sampleDataPath;
using designer_testing::sampleFormatPath;

struct CommandRow {
    int row;
    std::vector<std::string> arguments;
    int exitStatus;
    std::vector<std::string> lines;  // each found among the output lines (or error lines, for 2)
    std::size_t lineCount = SIZE_MAX;  // when given, the output has exactly this many lines
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

TEST(CheckCommand, ExitsAndPrintsAsDocumented) {
    const testing_support::TempDir dir;
    const std::string planted = dir.write("NYUKA.DAT", designer_testing::plantedReceivingData()).string();
    const std::string covered = dir.write("covered.json", R"({"usePrinter": 1, "label": {"widthMm": 50, "heightMm": 30},
        "fields": [{"number": 7, "type": "barcode", "symbology": "EAN13", "xMm": 2, "yMm": 2, "widthMm": 40, "heightMm": 25,
                    "rotation": 0, "default": "", "sample": "4571123400153"}],
        "static": [{"type": "box", "xMm": 1, "yMm": 1, "widthMm": 45, "heightMm": 28, "fill": true}]})")
                                    .string();
    const std::string outside = dir.write("outside.json", R"({"usePrinter": 1, "label": {"widthMm": 50, "heightMm": 30},
        "fields": [{"number": 3, "type": "text", "xMm": 20, "yMm": 2, "widthMm": 40, "heightMm": 5, "rotation": 0}]})")
                                    .string();
    const std::string label1 = sampleFormatPath("LABEL1").string();
    const std::string nyuka = sampleDataPath("NYUKA.DAT").string();
    const std::vector<CommandRow> rows{
        {1, {"--check", label1}, 0, {"sample field 101: condensed 98%"}},
        {2, {"--check", label1, "--data", nyuka, "--kind", "NYUKA.DAT", "--dpi", "300"}, 0,
         {"record 2 field 6: condensed 58% (1 record)"}},
        {3, {"--check", sampleFormatPath("TBCARD").string(), "--kind", "TSUBAKI", "--data", sampleDataPath("TSUBAKI.DAT").string()},
         0, {}},
        {4, {"--check", label1, "--data", planted, "--kind", "NYUKA.DAT"}, 1,
         {"record 11: refused (ERR: 932 データファイルの読み込みに失敗しました。発行を中止します。)",
          "record 10 field 4: condensed 63% (2 records)", "record 7 field 4: cut (1 record)",
          "record 9 field 11: refused 1302 (EAN13: wrong check digit 7, expected 6) (1 record)"}},
        {5, {"--check", label1, "--data", sampleDataPath("TANACARD.DAT").string(), "--kind", "TANACARD.DAT"}, 1,
         {"format: error 1301 (made for printer model 1, the program uses 0)"}},
        {6, {"--check", covered}, 1, {"sample field 7: barcode not read back"}, 1},
        {7, {"--check", outside}, 1, {"format field 3: error 1302 (the box is not inside the label)"}, 1},
        {8, {"--check", (dir.path() / "none.json").string()}, 1, {}, 1},
        {9, {"--check", label1, "--data", (dir.path() / "none.DAT").string(), "--kind", "NYUKA.DAT"}, 1,
         {"data: refused (データファイルのオープンに失敗しました。発行を中止します。)"}},
        {10, {}, 2, {"bcpctrl-designer: --check FORMAT.json is required"}},
        {11, {"--check"}, 2, {"bcpctrl-designer: --check needs a value"}},
        {12, {"--check", label1, "--data", nyuka}, 2, {"bcpctrl-designer: --data and --kind go together"}},
        {13, {"--check", label1, "--data", nyuka, "--kind", "NYUKA"}, 2,
         {"bcpctrl-designer: unknown data kind NYUKA (one of NYUKA.DAT, SYUKA.DAT, NYUKA_LOT.DAT, TANACARD.DAT, "
          "PRICCARD.DAT, PRICSEAL.DAT, TSUBAKI)"}},
        {14, {"--check", label1, "--dpi", "99"}, 2, {"bcpctrl-designer: --dpi takes a number from 100 to 1200"}},
        {15, {"--check", label1, "--grid"}, 2, {"bcpctrl-designer: unexpected argument --grid"}},
    };
    for (const CommandRow& row : rows) {
        SCOPED_TRACE(row.row);
        const std::vector<std::string_view> arguments(row.arguments.begin(), row.arguments.end());
        EXPECT_EQ(wantsCheckCommand(arguments), row.row != 10);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(runCheckCommand(arguments, out, err), row.exitStatus) << out.str() << err.str();
        const auto lines = linesOf(row.exitStatus == kCheckUsage ? err.str() : out.str());
        for (const std::string& line : row.lines) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\nin:\n" << out.str() << err.str();
        }
        if (row.lineCount != SIZE_MAX) {
            EXPECT_EQ(lines.size(), row.lineCount) << out.str();
        }
        if (row.exitStatus == kCheckUsage) {
            EXPECT_TRUE(out.str().empty());
        }
    }
}

TEST(CheckCommand, RunsAsTheProgramASiteScriptStarts) {
    const testing_support::TempDir dir;
    const auto data = dir.write("NYUKA.DAT", designer_testing::plantedReceivingData());
    testing_support::ProcessRequest request;
    request.argv = {DESIGNER_CHECK_PROGRAM, "--check", sampleFormatPath("LABEL1").string(), "--data", data.string(), "--kind",
                    "NYUKA.DAT"};
    const auto result = testing_support::runProcess(request);
    EXPECT_EQ(result.exitStatus, kCheckFailed);
    const auto lines = linesOf(result.standardOutput);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "record 7 field 4: cut (1 record)"), lines.end()) << result.standardOutput;
    request.argv = {DESIGNER_CHECK_PROGRAM, "--check"};
    const auto usage = testing_support::runProcess(request);
    EXPECT_EQ(usage.exitStatus, kCheckUsage);
}

}  // namespace
}  // namespace designer
