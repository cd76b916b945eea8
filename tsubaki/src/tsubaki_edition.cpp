// SPDX-License-Identifier: MIT
#include "tsubaki/tsubaki_edition.h"

#include <array>

namespace tsubaki {
namespace {

using frame::LabelRow;

// Record fields 2 to 5, 8 to 13 and 16 are read and never printed.
constexpr std::array<LabelRow, 14> kCard{{
    {1, 6},   {2, 7},   {3, 21},  {4, 1},   {5, 14},  {6, 15},  {8, 17},
    {9, 20},  {11, 18}, {13, 19}, {14, 22}, {16, 23}, {17, 24}, {18, 25},
}};

// No keyword and no name: the file name is never examined.
constexpr frame::DataKind kCardKind{"", "", 25, kCard};

}  // namespace

const frame::Edition kTsubakiEdition{
    .versionText = "TSUBAKI 1.00",
    .commandLine = frame::CommandLineForm::FourArguments,
    .dataKinds = {},
    .fieldCountWithoutKind = 0,
    .onlyKind = &kCardKind,
    .fixedDriverSetting = {},
    .usePrinter = 1,
    .issueSecondArgument = 1,
    .reusesRecordBuffer = true,
    .reportsCompletion = false,
};

}  // namespace tsubaki
