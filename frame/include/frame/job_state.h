// SPDX-License-Identifier: MIT
// The state of one print job, owned by the main window for the life of the process.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/bcp_control.h"

namespace frame {

struct JobState {
    std::string PortKind;  // third argument, untrimmed: "DRV" or "COM" select a port
    // Element 1: label-format argument; element 2: data-file argument, both as the caller
    // wrote them. Elements 0 and 3 carry nothing.
    std::array<std::string, 4> JobArgs;
    std::int16_t FieldCount = 0;  // fields in one record; TSUBAKI leaves it 0
    std::string DataKind;         // empty when the line names no data kind
    std::string PortSetting;      // empty unless the port kind sets it
    std::string LastStatus;
    ResultCode LastResult = 0;
    VbBool StatusArrived = kVbFalse;
    VbBool StopRequested = kVbFalse;
    // 16-bit counters would wrap after 32767 labels and show negative record numbers;
    // these count on for any job a data file can hold.
    std::int64_t IssuedCount = 0;
    std::int64_t PrintedCount = 0;
};

}  // namespace frame
