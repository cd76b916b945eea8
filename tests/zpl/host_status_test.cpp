// SPDX-License-Identifier: MIT
// What printers answer to ~HS, as the ZPL printer reads it: whole answers only, the state
// the control reports for them, and how many labels they say are still inside.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "printers/zpl/zpl_printer.h"
#include "zpl/host_status.h"

namespace zpl {
namespace {

using bcpctrl::printers::zpl::printerStateOf;

// The three strings with the fields that matter set; the rest as printers send them.
std::string answer(char paperOut, char pause, int formats, char bufferFull, char partial, char headUp, char ribbonOut,
                   long remaining, char overTemperature = '0') {
    char text[200];
    std::snprintf(text, sizeof text,
                  "\x02" "030,%c,%c,0560,%03d,%c,0,%c,000,0,0,%c\x03\r\n"
                  "\x02" "001,0,%c,%c,0,2,0,0,%08ld,1,000\x03\r\n"
                  "\x02" "1234,0\x03\r\n",
                  paperOut, pause, formats, bufferFull, partial, overTemperature, headUp, ribbonOut, remaining);
    return text;
}

TEST(HostStatus, TakesWholeAnswersOnlyAndSkipsWhatIsNotOne) {
    struct Row {
        int row;
        std::string incoming;
        std::optional<std::string_view> state;  // nothing: no answer yet
        long formats;
        long remaining;
        std::size_t left;  // bytes left in `incoming`
    };
    const std::string paperOut = answer('1', '0', 2, '0', '0', '0', '0', 3);
    const std::vector<Row> rows{
        {1, paperOut, "11", 2, 3, 2},  // the last CR LF waits for the next call
        {2, paperOut.substr(0, 40), std::nullopt, 0, 0, 40},
        {3, "\x11\x13garbage" + answer('0', '1', 0, '0', '1', '0', '0', 0), "15", 0, 0, 2},
        {4, "\x02" "1,2,3\x03\r\n\x02" "4\x03\r\n\x02" "5\x03\r\n" + answer('0', '0', 0, '0', '0', '1', '1', 0), "13", 0, 0, 2},
        {5, answer('0', '0', 0, '0', '0', '0', '1', 0), "14", 0, 0, 2},
        {6, answer('0', '0', 0, '1', '0', '0', '0', 0), "16", 0, 0, 2},
        {7, answer('0', '0', 1, '0', '0', '0', '0', 12, '1'), "19", 1, 12, 2},
        {8, answer('0', '0', 0, '0', '0', '0', '0', 0), "00", 0, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        std::string incoming = row.incoming;
        const auto status = takeHostStatus(incoming);
        ASSERT_EQ(status.has_value(), row.state.has_value());
        EXPECT_EQ(incoming.size(), row.left);
        if (!status) continue;
        EXPECT_EQ(printerStateOf(*status), *row.state);
        EXPECT_EQ(status->formatsInBuffer, row.formats);
        EXPECT_EQ(status->labelsRemaining, row.remaining);
    }
}

TEST(HostStatus, LabelsStillInThePrinterAreTheBatchAndTheWaitingFormats) {
    struct Row {
        int row;
        long formats;
        bool partial;
        long remaining;
        std::vector<int> copies;  // of the formats not yet seen printed, oldest first
        long expected;
    };
    const std::vector<Row> rows{
        {1, 0, false, 0, {1, 1}, 0},
        {2, 2, false, 0, {1, 3, 2}, 5},       // the newest two wait
        {3, 1, false, 2, {3, 1}, 3},          // two copies of the first left, the second waits
        {4, 0, true, 0, {1, 4}, 4},           // the newest is still coming in
        {5, 5, false, 0, {1, 1}, 2},          // formats of someone else count for nothing
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        HostStatus status;
        status.formatsInBuffer = row.formats;
        status.partialFormat = row.partial;
        status.labelsRemaining = row.remaining;
        EXPECT_EQ(labelsInPrinter(status, row.copies), row.expected);
    }
}

}  // namespace
}  // namespace zpl
