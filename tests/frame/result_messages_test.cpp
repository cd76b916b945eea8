// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>

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

struct CodeRow {
    std::uint16_t number;
    std::int32_t signedCode;
    const char* message;
};

constexpr std::array<CodeRow, 18> kStopCodes{{
    {1000, -2146827288, "ポートのオープンに失敗しました。"},
    {1001, -2146827287, "ポートがオープンされていません。"},
    {1002, -2146827286, "ポートが既にオープンされています。"},
    {1003, -2146827285, "ポートへの書き込みに失敗しました。"},
    {1101, -2146827187, "通信エラーが発生しました。"},
    {1200, -2146827088, "プリンタリストファイルの読み込みに失敗しました。"},
    {1201, -2146827087, "プリンタ情報ファイルの読み込みに失敗しました。"},
    {1300, -2146826988, "ラベルフォーマットファイルの読み込みに失敗しました。"},
    {1301, -2146826987, "UsePrinterプロパティで指定されたプリンタのラベルフォーマットファイルではありません。"},
    {1302, -2146826986, "印刷レイアウトに誤りがあります。"},
    {1303, -2146826985, "指定されたフィールドが存在しません。"},
    {1304, -2146826984, "ラベルフォーマット情報が取得されていません。"},
    {2000, -2146826288, "サポートされていません。"},
    {2100, -2146826188, "第一引数に不正な値が指定されています。"},
    {2101, -2146826187, "第二引数に不正な値が指定されています。"},
    {3004, -2146825284, "PortSettingプロパティの値が不正です。"},
    {3011, -2146825277, "SystemPathプロパティの値が不正です。"},
    {3012, -2146825276, "UsePrinterプロパティの値が不正です。"},
}};

TEST_F(CheckResultTest, EveryKnownFailureHidesTheWindowAndStopsWithItsMessage) {
    for (const CodeRow& row : kStopCodes) {
        SCOPED_TRACE(row.number);
        EXPECT_EQ(frame::resultCodeFor(row.number), row.signedCode);
        journal.clear();
        window.boxes.clear();
        EXPECT_FALSE(check(row.signedCode));
        ASSERT_EQ(window.boxes.size(), 1u);
        const frame::MessageBox expected{std::string(row.message) + "発行を中止します。", "メッセージ",
                                         MessageIcon::Exclamation, MessageButtons::Ok};
        EXPECT_EQ(window.boxes[0], expected);
        EXPECT_EQ(window.boxes[0].style(), 48);
        // The window is hidden before the box appears.
        EXPECT_EQ(journal, (testing_support::Journal{"hide", "box:" + expected.text}));
    }
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
