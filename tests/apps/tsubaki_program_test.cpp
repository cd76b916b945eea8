// SPDX-License-Identifier: MIT
// TSUBAKI as its caller runs it, in console mode.
#include "program_test_support.h"

namespace tsubaki_program_test {

constexpr const char* kProgram = "tsubaki";

class TsubakiProgram : public testing_support::ProgramRun {};

TEST_F(TsubakiProgram, SampleCardsAreIssuedWithOneAndOne) {
    const auto result = run(kProgram, {"/TBCARD /" + sampleData("TSUBAKI.DAT") + " /DRV /DRV:TEC B-374"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(boxes(result).empty());
    EXPECT_EQ(labels().size(), 10u);
    const auto log = trace();
    const auto issues = std::count_if(log.begin(), log.end(), [](const auto& line) {
        return line["op"] == "Issue" && line["args"] == nlohmann::json::parse("[1,1]");
    });
    EXPECT_EQ(issues, 10);
    EXPECT_EQ(log[1], nlohmann::json::parse(R"({"op":"UsePrinter","dispid":3,"args":[1]})"));
}

TEST_F(TsubakiProgram, AGoodsDataFileNameChangesNothing) {
    std::string record;
    for (int i = 1; i <= 25; ++i) record += (i > 1 ? "," : "") + (i == 22 ? "4901234567894" : "t" + std::to_string(i));
    const auto data = writeData("NYUKA.DAT", record + "\r\n");
    const auto result = run(kProgram, {"/TBCARD /" + data + " /DRV /DRV:TEC B-374"});
    EXPECT_EQ(result.exitStatus, 0);
    const auto printed = labels();
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_EQ(printed[0]["fields"]["4"], "t1");
    EXPECT_EQ(printed[0]["fields"]["1"], "t6");
}

TEST_F(TsubakiProgram, VersionText) { EXPECT_EQ(run(kProgram, {"--version"}).standardOutput, "TSUBAKI 1.00\n"); }

}  // namespace tsubaki_program_test
