// SPDX-License-Identifier: MIT
#include "cards/cards_edition.h"

#include <array>

namespace cards {
namespace {

using frame::LabelRow;

// Shelf card: positions 7 to 10 reach both the card and its stub; position 13 is sent
// before 11 and 12.
constexpr std::array<LabelRow, 16> kShelfCard{{
    {2, 2},   {4, 3},   {6, 4},   {9, 5},   {10, 6},  {12, 7},  {14, 8},  {16, 9},
    {17, 10}, {20, 13}, {21, 11}, {22, 12}, {23, 7},  {25, 8},  {27, 9},  {28, 10},
}};

constexpr std::array<LabelRow, 9> kPriceCard{{
    {1, 4}, {2, 7}, {3, 8}, {5, 5}, {8, 12}, {9, 9}, {10, 10}, {11, 13}, {12, 11},
}};

constexpr std::array<LabelRow, 7> kPriceSeal{{
    {2, 8}, {4, 7}, {5, 9}, {6, 6}, {7, 11}, {8, 10}, {9, 13},
}};

// Every card record has 13 fields, whatever its kind; a later keyword wins.
constexpr std::array<frame::DataKind, 3> kDataKinds{{
    {"TANACARD", "TANACARD.DAT", 13, kShelfCard},
    {"PRICCARD", "PRICCARD.DAT", 13, kPriceCard},
    {"PRICSEAL", "PRICSEAL.DAT", 13, kPriceSeal},
}};

}  // namespace

const frame::Edition kCardsEdition{
    .versionText = "MOKUREN 1.00",
    .commandLine = frame::CommandLineForm::ThreeArguments,
    .dataKinds = kDataKinds,
    .fieldCountWithoutKind = 13,
    .onlyKind = nullptr,
    .fixedDriverSetting = "DRV:TEC B-374",
    .usePrinter = 0,
    .issueSecondArgument = 0,
    .reusesRecordBuffer = true,
    .reportsCompletion = true,
};

}  // namespace cards
