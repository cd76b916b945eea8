// SPDX-License-Identifier: MIT
#include "frame/command_line.h"

#include <gtest/gtest.h>

#include <array>

#include "goods/goods_edition.h"

namespace {

using frame::CommandLineArgs;
using frame::CommandLineError;
using frame::CommandLineForm;

struct SplitRow {
    int row;
    const char* line;
    const char* format;
    const char* dataFile;
    const char* portKind;
    const char* driver;
};

constexpr std::array<SplitRow, 12> kFourArgumentRows{{
    {1, "/LABEL1 /C:\\DATA\\NYUKA.DAT /COM /", "LABEL1", "C:\\DATA\\NYUKA.DAT", "COM", ""},
    {2, "/LABEL1 /C:\\DATA\\SYUKA.DAT /DRV /DRV:TEC B-374", "LABEL1", "C:\\DATA\\SYUKA.DAT", "DRV", "DRV:TEC B-374"},
    // Without the blank before the fourth "/" the port kind loses its last character.
    {3, "/LABEL1 /DATA\\NYUKA.DAT /DRV/DRV:TEC B-374", "LABEL1", "DATA\\NYUKA.DAT", "DR", "DRV:TEC B-374"},
    // Likewise the data-file argument without the blank before the third "/".
    {4, "/LABEL1 /DATA\\NYUKA.DAT/DRV /DRV:X", "LABEL1", "DATA\\NYUKA.DA", "DRV", "DRV:X"},
    // Two blanks before the fourth "/" leave one in the untrimmed port kind.
    {5, "/LABEL1 /D.DAT /DRV  /DRV:X", "LABEL1", "D.DAT", "DRV ", "DRV:X"},
    // The driver argument takes every further "/".
    {6, "/LABEL1 /D.DAT /DRV /DRV:a/b/c", "LABEL1", "D.DAT", "DRV", "DRV:a/b/c"},
    // Blanks inside arguments stay, blanks around them go.
    {7, "/  LABEL 1   /  my data.DAT  /COM /  x y  ", "LABEL 1", "my data.DAT", "COM", "x y"},
    // Characters, not bytes: a Japanese path changes nothing in the cuts.
    {8, "/ラベル１ /データ\\入荷.DAT /DRV /DRV:プリンタ", "ラベル１", "データ\\入荷.DAT", "DRV", "DRV:プリンタ"},
    // Tabs are not blanks.
    {9, "/L\t /D /DRV /\tX", "L\t", "D", "DRV", "\tX"},
    {10, "/L /D /COM /", "L", "D", "COM", ""},
    // The first two "/" side by side: the format argument is simply empty.
    {11, "//D /COM /X", "", "D", "COM", "X"},
    // A leading blank shifts the cut of the format argument, as the positions dictate.
    {12, " /L /D /DRV /X", "L /", "D", "DRV", "X"},
}};

TEST(CommandLine, FourArgumentRows) {
    for (const SplitRow& row : kFourArgumentRows) {
        SCOPED_TRACE(row.row);
        const auto parsed = frame::parseCommandLine(row.line, CommandLineForm::FourArguments);
        ASSERT_TRUE(std::holds_alternative<CommandLineArgs>(parsed));
        const auto& args = std::get<CommandLineArgs>(parsed);
        EXPECT_EQ(args.format, row.format);
        EXPECT_EQ(args.dataFile, row.dataFile);
        EXPECT_EQ(args.portKind, row.portKind);
        EXPECT_EQ(args.driver, row.driver);
    }
}

struct RejectRow {
    int row;
    const char* line;
    CommandLineForm form;
    CommandLineError error;
};

constexpr std::array<RejectRow, 9> kRejectedRows{{
    {1, "", CommandLineForm::FourArguments, CommandLineError::TooFewSlashes},
    {2, "LABEL1 NYUKA.DAT DRV", CommandLineForm::FourArguments, CommandLineError::TooFewSlashes},
    {3, "/LABEL1 /NYUKA.DAT /DRV", CommandLineForm::FourArguments, CommandLineError::TooFewSlashes},
    {4, "/LABEL1 /NYUKA.DAT", CommandLineForm::ThreeArguments, CommandLineError::TooFewSlashes},
    {5, "/LABEL1 //DRV /X", CommandLineForm::FourArguments, CommandLineError::NegativeLength},
    {6, "/LABEL1 /D //X", CommandLineForm::FourArguments, CommandLineError::NegativeLength},
    {7, "/LABEL1 //DRV", CommandLineForm::ThreeArguments, CommandLineError::NegativeLength},
    // Leading blanks shorten the trimmed line until the last argument's length goes below zero.
    {8, "   /L /D /DRV /X", CommandLineForm::FourArguments, CommandLineError::NegativeLength},
    {9, "     /L /D /DRV", CommandLineForm::ThreeArguments, CommandLineError::NegativeLength},
}};

TEST(CommandLine, RejectedRows) {
    for (const RejectRow& row : kRejectedRows) {
        SCOPED_TRACE(row.row);
        const auto parsed = frame::parseCommandLine(row.line, row.form);
        ASSERT_TRUE(std::holds_alternative<CommandLineError>(parsed));
        EXPECT_EQ(std::get<CommandLineError>(parsed), row.error);
    }
}

TEST(CommandLine, LineBeyondSixteenBitPositionsIsRejectedNotWrapped) {
    const std::string fits = "/L /D /DRV /" + std::string(32767 - 12, 'x');
    EXPECT_TRUE(std::holds_alternative<CommandLineArgs>(frame::parseCommandLine(fits, CommandLineForm::FourArguments)));
    const std::string tooLong = fits + "x";
    const auto parsed = frame::parseCommandLine(tooLong, CommandLineForm::FourArguments);
    ASSERT_TRUE(std::holds_alternative<CommandLineError>(parsed));
    EXPECT_EQ(std::get<CommandLineError>(parsed), CommandLineError::TooLong);
}

TEST(CommandLine, ThreeArgumentFormRunsThePortKindToTheEndUntrimmed) {
    const auto take = [](const char* line) {
        return std::get<CommandLineArgs>(frame::parseCommandLine(line, CommandLineForm::ThreeArguments)).portKind;
    };
    EXPECT_EQ(take("/CARD1 /TANACARD.DAT /DRV"), "DRV");
    EXPECT_EQ(take("/CARD1 /TANACARD.DAT /COM "), "COM ");  // one trailing blank stays
    EXPECT_EQ(take("/CARD1 /TANACARD.DAT /COM   "), "COM ");
    EXPECT_EQ(take("/CARD1 /TANACARD.DAT /DRV /DRV:TEC B-374"), "DRV /DRV:TEC B-374");
    EXPECT_EQ(take("/CARD1 /TANACARD.DAT /"), "");
}

TEST(CommandLine, ArgumentsAreJoinedWithSingleSpaces) {
    const std::array<const char*, 1> whole{"/LABEL1 /NYUKA.DAT /DRV /DRV:TEC B-374"};
    const std::array<const char*, 5> split{"/LABEL1", "/NYUKA.DAT", "/DRV", "/DRV:TEC", "B-374"};
    EXPECT_EQ(frame::joinArguments(whole), frame::joinArguments(split));
    EXPECT_EQ(frame::joinArguments({}), "");
}

TEST(CommandLine, InvalidUtf8InAPathSurvivesTheParse) {
    const std::string line = "/L /D\xFF\xFE.DAT /DRV /X";
    const auto parsed = frame::parseCommandLine(line, CommandLineForm::FourArguments);
    EXPECT_EQ(std::get<CommandLineArgs>(parsed).dataFile, "D\xFF\xFE.DAT");
}

TEST(DataKindSearch, LastKeywordInTableOrderWinsAnywhereOnTheLine) {
    const auto kinds = goods::kGoodsEdition.dataKinds;
    const auto nameFor = [&](const char* line) {
        const frame::DataKind* kind = frame::findDataKind(line, kinds);
        return kind ? std::string(kind->name) : std::string("(none)");
    };
    EXPECT_EQ(nameFor("/L /C:\\DATA\\NYUKA.DAT /COM /"), "NYUKA.DAT");
    EXPECT_EQ(nameFor("/L /NYUKA_LOT.DAT /DRV /X"), "NYUKA_LOT.DAT");
    EXPECT_EQ(nameFor("/SYUKA /NYUKA.DAT /DRV /X"), "SYUKA.DAT");  // SYUKA is searched after NYUKA
    EXPECT_EQ(nameFor("/L /D.DAT /DRV /DRV:NYUKA"), "NYUKA.DAT");  // the driver argument counts too
    EXPECT_EQ(nameFor("/L /nyuka.dat /DRV /X"), "(none)");         // case matters
    EXPECT_EQ(nameFor("/L /Syuka.DAT /DRV /X"), "(none)");
    EXPECT_EQ(nameFor("/L /D.DAT /DRV /X"), "(none)");
}

}  // namespace
