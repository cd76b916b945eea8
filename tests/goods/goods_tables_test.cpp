// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "goods/goods_edition.h"
#include "job_fixture.h"

namespace {

using frame::DispId;
using testing_support::Argument;
using Pairs = std::vector<std::pair<int, int>>;  // (label field, record position) in call order

class GoodsTablesTest : public testing_support::JobFixture {
protected:
    GoodsTablesTest() : JobFixture(goods::kGoodsEdition) {}

    // One record whose position n holds "<tag>n".
    static std::string record(int fieldCount, const std::string& tag) {
        std::string line;
        for (int i = 1; i <= fieldCount; ++i) line += (i > 1 ? "," : "") + tag + std::to_string(i);
        return line + "\r\n";
    }

    // The SetField calls of the issued records, as (label field, text).
    std::vector<std::pair<std::int64_t, std::string>> setFieldsOf(const std::string& fileName,
                                                                  const std::string& data) {
        runJob("/LABEL /" + writeData(fileName, data) + " /DRV /DRV:TEC B-374");
        std::vector<std::pair<std::int64_t, std::string>> calls;
        for (const auto& call : control.callsOf(DispId::SetField)) {
            calls.emplace_back(std::get<std::int64_t>(call.args.at(0)), std::get<std::string>(call.args.at(1)));
        }
        return calls;
    }

    static std::vector<std::pair<std::int64_t, std::string>> expected(const Pairs& pairs, const std::string& tag) {
        std::vector<std::pair<std::int64_t, std::string>> calls;
        for (const auto& [label, position] : pairs) calls.emplace_back(label, tag + std::to_string(position));
        return calls;
    }
};

const Pairs kReceiving{{1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},   {8, 9},
                       {9, 10},  {10, 11}, {11, 21}, {12, 12}, {13, 13}, {14, 20}, {15, 14}, {17, 19},
                       {16, 15}, {18, 16}, {20, 17}, {22, 18}, {27, 22}, {28, 23}, {29, 24}};
const Pairs kShipping{{1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},
                      {8, 9},   {10, 10}, {11, 11}, {12, 22}, {13, 12}, {14, 13}, {15, 21},
                      {16, 14}, {17, 15}, {18, 20}, {19, 16}, {21, 17}, {23, 18}, {25, 19}};
const Pairs kReceivingLot{{1, 2},  {2, 2},   {3, 3},   {4, 3},   {5, 1},   {6, 1},   {9, 4},
                          {10, 4}, {13, 5},  {14, 5},  {16, 6},  {18, 7},  {19, 8},  {20, 9}};

TEST_F(GoodsTablesTest, ReceivingRecordsFollowTheirTableForEveryRecord) {
    const auto calls = setFieldsOf("NYUKA.DAT", record(24, "a") + record(24, "b"));
    auto both = expected(kReceiving, "a");
    const auto second = expected(kReceiving, "b");
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(calls, both);
    EXPECT_EQ(form.state().FieldCount, 24);
    EXPECT_EQ(control.issueCount, 2);
}

TEST_F(GoodsTablesTest, ShippingRecordsFollowTheirTable) {
    EXPECT_EQ(setFieldsOf("SYUKA.DAT", record(22, "s")), expected(kShipping, "s"));
    EXPECT_EQ(form.state().FieldCount, 22);
}

TEST_F(GoodsTablesTest, LotRecordsFollowTheirTable) {
    EXPECT_EQ(setFieldsOf("NYUKA_LOT.DAT", record(9, "l")), expected(kReceivingLot, "l"));
    EXPECT_EQ(form.state().FieldCount, 9);
}

TEST_F(GoodsTablesTest, EveryIssueCarriesOneAndZero) {
    setFieldsOf("SYUKA.DAT", record(22, "a") + record(22, "b"));
    for (const auto& call : control.callsOf(DispId::Issue)) {
        EXPECT_EQ(call.args, (std::vector<Argument>{std::int64_t{1}, std::int64_t{0}}));
    }
}

TEST_F(GoodsTablesTest, TheFirstPositionOfReceivingAndShippingIsNeverPrinted) {
    for (const auto& [name, count] : {std::pair{"NYUKA.DAT", 24}, std::pair{"SYUKA.DAT", 22}}) {
        SCOPED_TRACE(name);
        auto first = record(count, "x");
        auto second = record(count, "x");
        second.replace(0, 2, "DIFFERENT");
        testing_support::Job a(goods::kGoodsEdition);
        testing_support::Job b(goods::kGoodsEdition);
        a.run("/LABEL /" + writeData(name, first) + " /DRV /DRV:TEC B-374");
        b.run("/LABEL /" + writeData(name, second) + " /DRV /DRV:TEC B-374");
        EXPECT_EQ(a.journal, b.journal);
    }
}

}  // namespace
