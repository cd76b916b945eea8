// SPDX-License-Identifier: MIT
#include "goods/goods_edition.h"

#include <array>

namespace goods {
namespace {

using frame::LabelRow;

// Receiving label. Position 1 is read and not printed; label fields 17 and 16 are set
// in that order on purpose.
constexpr std::array<LabelRow, 23> kReceiving{{
    {1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},   {8, 9},
    {9, 10},  {10, 11}, {11, 21}, {12, 12}, {13, 13}, {14, 20}, {15, 14}, {17, 19},
    {16, 15}, {18, 16}, {20, 17}, {22, 18}, {27, 22}, {28, 23}, {29, 24},
}};

// Shipping label. Position 1 is read and not printed.
constexpr std::array<LabelRow, 21> kShipping{{
    {1, 2},   {2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},   {7, 8},
    {8, 9},   {10, 10}, {11, 11}, {12, 22}, {13, 12}, {14, 13}, {15, 21},
    {16, 14}, {17, 15}, {18, 20}, {19, 16}, {21, 17}, {23, 18}, {25, 19},
}};

// Receiving-lot label: positions 1 to 5 each reach two label fields.
constexpr std::array<LabelRow, 14> kReceivingLot{{
    {1, 2}, {2, 2}, {3, 3}, {4, 3}, {5, 1}, {6, 1}, {9, 4},
    {10, 4}, {13, 5}, {14, 5}, {16, 6}, {18, 7}, {19, 8}, {20, 9},
}};

// In keyword-search order: "NYUKA_LOT" comes last so it wins over the "NYUKA" it contains.
constexpr std::array<frame::DataKind, 3> kDataKinds{{
    {"NYUKA", "NYUKA.DAT", 24, kReceiving},
    {"SYUKA", "SYUKA.DAT", 22, kShipping},
    {"NYUKA_LOT", "NYUKA_LOT.DAT", 9, kReceivingLot},
}};

}  // namespace

const frame::Edition kGoodsEdition{
    .versionText = "MOKUREN 1.00",
    .commandLine = frame::CommandLineForm::FourArguments,
    .dataKinds = kDataKinds,
    .fieldCountWithoutKind = 9,
    .onlyKind = nullptr,
    .fixedDriverSetting = {},
    .usePrinter = 1,
    .issueSecondArgument = 0,
    .reusesRecordBuffer = false,
    .reportsCompletion = false,
};

}  // namespace goods
