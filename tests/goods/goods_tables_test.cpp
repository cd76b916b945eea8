// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "goods/goods_edition.h"
#include "job_fixture.h"

namespace {

using testing_support::taggedRecord;

class GoodsTablesTest : public testing_support::JobFixture {
protected:
    GoodsTablesTest() : JobFixture(goods::kGoodsEdition) {}
};

// Records whose every value differs from the others of its line; label field 17 (the
// receiving label's unit cost) is set before 16.
const std::vector<testing_support::SampleRecord> kGoodsSamples{
    {"LABEL1", "NYUKA.DAT", 12, 2,
     {{1, "2026/12/07"}, {2, "N2612-0041"}, {3, "S0152"}, {4, "株式会社髙森堂製菓"}, {5, "K10428"},
      {6, "北海道十勝産小豆使用 こしあん入り ひとくち薄皮まんじゅう 贈答用詰め合わせ"}, {7, "２０個入"},
      {8, "6"}, {9, "2"}, {10, "0"}, {11, "4571123404281"}, {12, "第１倉庫"}, {13, "A-03-4"}, {14, "軽減8%"},
      {15, "K261128B"}, {17, "1,180"}, {16, "2027/01/15"}, {18, "12"}, {20, "箱"}, {22, "髙橋"},
      {27, "PO-2611-0187"}, {28, "贈答品 天地無用"}, {29, "N2612-0041-02"}}},
    {"LABEL2", "SYUKA.DAT", 12, 2,
     {{1, "2026/12/08"}, {2, "S2612-0101"}, {3, "T0101"}, {4, "株式会社スーパーみなと"}, {5, "港北店"},
      {6, "横浜市港北区みなと台１－２－３"}, {7, "045-012-4501"}, {8, "港北 第１便"}, {10, "C30512"},
      {11, "丸大豆 こいくち醤油 天然醸造"}, {12, "14905531051268"}, {13, "1L"}, {14, "6"}, {15, "2026/12/09"},
      {16, "1"}, {17, "2"}, {18, "2/2"}, {19, "8"}, {21, "本"}, {23, "B-01-3"}, {25, "瓶入り 取扱注意"}}},
    {"LABEL3", "NYUKA_LOT.DAT", 12, 2,
     {{1, "黒糖かりんとう 徳用袋"}, {2, "黒糖かりんとう 徳用袋"}, {3, "4571123400153"}, {4, "4571123400153"},
      {5, "K261130B"}, {6, "K261130B"}, {9, "2026/12/07"}, {10, "2026/12/07"}, {13, "2027/05/31"},
      {14, "2027/05/31"}, {16, "24袋"}, {18, "株式会社髙森堂製菓"}, {19, "第１倉庫 A-03-3"}, {20, "端数ケース"}}},
};

TEST_F(GoodsTablesTest, SampleRecordsReachTheLabelFieldsTheSamplesDescribeAndIssueWithOneAndZero) {
    for (const auto& sample : kGoodsSamples) {
        SCOPED_TRACE(sample.dataFile);
        testing_support::Job job(goods::kGoodsEdition);
        expectSampleJob(job, sample, "DRV /DRV:TEC B-374", 0);
        EXPECT_TRUE(job.window.boxes.empty());
    }
}

TEST_F(GoodsTablesTest, TheFirstPositionOfReceivingAndShippingIsNeverPrinted) {
    for (const auto& [name, count] : {std::pair{"NYUKA.DAT", 24}, std::pair{"SYUKA.DAT", 22}}) {
        SCOPED_TRACE(name);
        auto second = taggedRecord(count, "x");
        second.replace(0, 2, "DIFFERENT");
        testing_support::Job a(goods::kGoodsEdition);
        testing_support::Job b(goods::kGoodsEdition);
        a.run("/LABEL /" + writeData(name, taggedRecord(count, "x")) + " /DRV /DRV:TEC B-374");
        b.run("/LABEL /" + writeData(name, second) + " /DRV /DRV:TEC B-374");
        EXPECT_EQ(a.journal, b.journal);
        EXPECT_EQ(a.control.issueCount, 1);
    }
}

}  // namespace
