// SPDX-License-Identifier: MIT
#include "printers/cups/queue_state.h"

#include <gtest/gtest.h>

namespace bcpctrl::printers::cups {
namespace {

TEST(CupsStatus, QueueStatesAndReasonsBecomePrinterStates) {
    struct Row {
        int row;
        QueueState state;
        std::vector<std::string> reasons;
        std::string_view expected;
    };
    const std::vector<Row> rows{
        {1, QueueState::Idle, {"none"}, "00"},
        {2, QueueState::Processing, {}, "41"},
        {3, QueueState::Stopped, {"paused"}, "18"},
        {4, QueueState::Idle, {"paused"}, "15"},
        {5, QueueState::Idle, {"hold-new-jobs"}, "15"},
        {6, QueueState::Stopped, {"paused", "media-empty-error"}, "11"},
        {7, QueueState::Processing, {"media-needed"}, "11"},
        {8, QueueState::Processing, {"media-empty-warning", "toner-low-report"}, "41"},
        {9, QueueState::Processing, {"cover-open-error", "media-jam-error"}, "12"},
        {10, QueueState::Idle, {"interlock-open"}, "13"},
        {11, QueueState::Processing, {"marker-supply-empty-error"}, "14"},
        {12, QueueState::Processing, {"offline-report"}, "17"},
        {13, QueueState::Idle, {"connecting-to-device"}, "00"},
        {14, QueueState::Processing, {"fuser-over-temp-error"}, "19"},
        {15, QueueState::Stopped, {"paused", "fuser-over-temp-error"}, "18"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(printerStateOfQueue(row.state, row.reasons), row.expected);
    }
}

}  // namespace
}  // namespace bcpctrl::printers::cups
