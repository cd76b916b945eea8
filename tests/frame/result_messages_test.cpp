// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "frame/text.h"
#include "goods/goods_edition.h"
#include "job_fixture.h"

namespace {

using frame::MessageButtons;
using frame::MessageIcon;

class CheckResultTest : public testing_support::JobFixture {
protected:
    CheckResultTest() : JobFixture(goods::kGoodsEdition) {}

    bool check(frame::ResultCode code, const std::string& status = {}) {
        form.state().LastResult = code;
        form.state().LastStatus = status;
        return form.CheckResult();
    }
};

// The failure texts as the README quotes them for the operator: (error number, text).
std::vector<std::pair<std::uint16_t, std::string>> readmeFailureTexts() {
    std::ifstream readme(MOKUREN_README);
    const std::regex row(R"(\| (\d+) \| (.+) \|)");
    std::vector<std::pair<std::uint16_t, std::string>> texts;
    bool inSection = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.starts_with("#")) inSection = line == "### Failure messages";
        std::smatch match;
        if (inSection && std::regex_match(line, match, row)) {
            texts.emplace_back(static_cast<std::uint16_t>(std::stoi(match[1])), match[2]);
        }
    }
    return texts;
}

TEST_F(CheckResultTest, EveryKnownFailureHidesTheWindowAndStopsWithTheTextTheReadmeQuotes) {
    const auto texts = readmeFailureTexts();
    ASSERT_EQ(texts.size(), 18u);  // every error number but 1102, the printer status report
    for (const auto& [number, text] : texts) {
        SCOPED_TRACE(number);
        journal.clear();
        window.boxes.clear();
        EXPECT_FALSE(check(frame::resultCodeFor(number)));
        ASSERT_EQ(window.boxes.size(), 1u);
        const frame::MessageBox expected{text + "発行を中止します。", "メッセージ", MessageIcon::Exclamation,
                                         MessageButtons::Ok};
        EXPECT_EQ(window.boxes[0], expected);
        EXPECT_EQ(window.boxes[0].style(), 48);
        // The window is hidden before the box appears.
        EXPECT_EQ(journal, (testing_support::Journal{"hide", "box:" + expected.text}));
    }
    EXPECT_EQ(frame::resultCodeFor(1000), -2146827288);
    EXPECT_EQ(frame::resultCodeFor(3012), -2146825276);
}

TEST_F(CheckResultTest, NormalPrinterStatesGoOnSilently) {
    for (const char* status : {"40", "41", "00", "02", "40XYZ", "02 ready"}) {
        SCOPED_TRACE(status);
        EXPECT_TRUE(check(frame::kPrinterStatusReport, status));
    }
    EXPECT_TRUE(journal.empty());
}

TEST_F(CheckResultTest, APrinterFaultGoesToTheStatusLineAndTheJobGoesOn) {
    struct Row {
        const char* status;
        const char* shown;
    };
    const std::array<Row, 5> rows{{
        {"11", "プリンタに異常が発生しました。 (11)\r\nプリンタのエラーを解除してください。"},
        {"", "プリンタに異常が発生しました。 ()\r\nプリンタのエラーを解除してください。"},
        {"4", "プリンタに異常が発生しました。 (4)\r\nプリンタのエラーを解除してください。"},
        {"0", "プリンタに異常が発生しました。 (0)\r\nプリンタのエラーを解除してください。"},
        {"４０", "プリンタに異常が発生しました。 (４０)\r\nプリンタのエラーを解除してください。"},
    }};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        EXPECT_TRUE(check(frame::kPrinterStatusReport, row.status));
        EXPECT_EQ(window.statusText(), row.shown);
    }
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_FALSE(window.hidden);
}

TEST_F(CheckResultTest, UndefinedCodesShowTheirHexadecimal) {
    struct Row {
        std::int32_t code;
        const char* text;
    };
    const std::array<Row, 6> rows{{
        {0, "未定義エラーが発生しました。 (Result = 0)発行を中止します。"},
        {static_cast<std::int32_t>(0x800A0BB8), "未定義エラーが発生しました。 (Result = 800A0BB8)発行を中止します。"},
        {255, "未定義エラーが発生しました。 (Result = FF)発行を中止します。"},
        {-1, "未定義エラーが発生しました。 (Result = FFFFFFFF)発行を中止します。"},
        {1000, "未定義エラーが発生しました。 (Result = 3E8)発行を中止します。"},  // the bare number is not a code
        {static_cast<std::int32_t>(0x800B03E8), "未定義エラーが発生しました。 (Result = 800B03E8)発行を中止します。"},
    }};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        window.boxes.clear();
        EXPECT_FALSE(check(row.code));
        ASSERT_EQ(window.boxes.size(), 1u);
        EXPECT_EQ(window.boxes[0].text, row.text);
    }
}

TEST_F(CheckResultTest, ChangesNoJobStateField) {
    form.state().PrintedCount = 7;
    form.state().StatusArrived = frame::kVbTrue;
    check(frame::kPrinterStatusReport, "11");
    check(frame::resultCodeFor(1003));
    EXPECT_EQ(form.state().PrintedCount, 7);
    EXPECT_EQ(form.state().StatusArrived, frame::kVbTrue);
    EXPECT_EQ(form.state().LastResult, frame::resultCodeFor(1003));
}

TEST(TextForms, SignPositionAndHexadecimal) {
    EXPECT_EQ(frame::withSignPosition(62), " 62");
    EXPECT_EQ(frame::withSignPosition(0), " 0");
    EXPECT_EQ(frame::withSignPosition(-5), "-5");
    EXPECT_EQ(frame::hexOf(0), "0");
    EXPECT_EQ(frame::hexOf(0x7FFFFFFF), "7FFFFFFF");
    EXPECT_EQ(frame::hexOf(static_cast<std::int32_t>(0x800A044E)), "800A044E");
}

TEST(MessageBoxStyle, ClassicStyleNumbers) {
    EXPECT_EQ((frame::MessageBox{"", "", MessageIcon::Exclamation, MessageButtons::Ok}).style(), 48);
    EXPECT_EQ((frame::MessageBox{"", "", MessageIcon::Question, MessageButtons::YesNo}).style(), 36);
    EXPECT_EQ((frame::MessageBox{"", "", MessageIcon::Information, MessageButtons::Ok}).style(), 64);
}

}  // namespace
