// SPDX-License-Identifier: MIT
// The card edition as its caller runs it, in console mode.
#include "program_test_support.h"

namespace cards_program_test {

constexpr const char* kProgram = "mokuren-cards";

class CardsProgram : public testing_support::ProgramRun {};

std::string completion() { return "box: title=メッセージ icon=information buttons=OK text=印刷が完了しました。"; }

TEST_F(CardsProgram, EachSampleKindIssuesEveryCardAndReportsCompletion) {
    struct Row {
        const char* format;
        const char* data;
        std::size_t records;
        int setFieldsPerRecord;
    };
    for (const Row& row : {Row{"CARD1", "TANACARD.DAT", 11, 16}, Row{"CARD2", "PRICCARD.DAT", 11, 9},
                           Row{"SEAL1", "PRICSEAL.DAT", 10, 7}}) {
        SCOPED_TRACE(row.data);
        std::filesystem::remove(folder / "trace.jsonl");
        std::filesystem::remove(systemDir / "output" / "labels.jsonl");
        const auto result = run(kProgram, {"/" + std::string(row.format), "/" + sampleData(row.data), "/DRV"});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(boxes(result), (std::vector<std::string>{completion()}));
        EXPECT_EQ(labels().size(), row.records);
        const auto log = trace();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], nlohmann::json::parse(R"({"op":"PortSetting","dispid":1,"args":["DRV:TEC B-374"]})"));
        EXPECT_EQ(log[1], nlohmann::json::parse(R"({"op":"UsePrinter","dispid":3,"args":[0]})"));
        const auto ops = traceOps();
        EXPECT_EQ(std::count(ops.begin(), ops.end(), "SetField"),
                  static_cast<long>(row.records) * row.setFieldsPerRecord);
    }
}

TEST_F(CardsProgram, ASerialJobReportsCompletionToo) {
    const auto result = run(kProgram, {"/SEAL1 /" + sampleData("PRICSEAL.DAT") + " /COM"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{completion()}));
    EXPECT_EQ(labels().size(), 10u);
}

TEST_F(CardsProgram, AGoodsStyleLineGivesPortCodeZeroAndNoCompletion) {
    const auto result = run(kProgram, {"/CARD1 /" + sampleData("TANACARD.DAT") + " /DRV /DRV:TEC B-374"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(boxes(result), (std::vector<std::string>{"box: title=メッセージ icon=exclamation buttons=OK "
                                                       "text=第一引数に不正な値が指定されています。発行を中止します。"}));
    const auto log = trace();
    const auto open = std::find_if(log.begin(), log.end(), [](const auto& line) { return line["op"] == "OpenPort"; });
    ASSERT_NE(open, log.end());
    EXPECT_EQ((*open)["args"], nlohmann::json::parse("[0]"));
}

TEST_F(CardsProgram, VersionText) {
    EXPECT_EQ(run(kProgram, {"--version"}).standardOutput, "MOKUREN 1.00\n");
}

}  // namespace cards_program_test
