// SPDX-License-Identifier: MIT
// The answer a ZPL printer gives to ~HS: three strings, each <STX>fields<ETX><CR><LF>.
// String 1: communication settings, paper out, pause, label length, formats in the
// receive buffer, buffer full, diagnostic mode, partial format, unused, corrupt RAM, under
// and over temperature. String 2: function settings, unused, head up, ribbon out, thermal
// transfer, print mode, print width mode, label waiting, labels remaining in the batch,
// format while printing, graphics stored. String 3: password and static RAM.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zpl {

struct HostStatus {
    bool paperOut = false;
    bool paused = false;
    bool bufferFull = false;
    bool partialFormat = false;  // a format is being received
    bool corruptRam = false;
    bool underTemperature = false;
    bool overTemperature = false;
    bool headUp = false;
    bool ribbonOut = false;
    long formatsInBuffer = 0;    // received, not started
    long labelsRemaining = 0;    // of the batch (format) being printed
};

// Takes the first whole answer off the front of `incoming`, dropping whatever stands
// before it. Nothing while no answer is complete; strings that are not a host status are
// dropped.
std::optional<HostStatus> takeHostStatus(std::string& incoming);

// How many labels are still inside the printer, given the copies of the formats sent
// before the query that it has not yet been seen to print, oldest first: the rest of the
// batch printing, and all copies of the formats still waiting (a partial one included).
long labelsInPrinter(const HostStatus& status, const std::vector<int>& copiesOfUnprintedFormats);

// The answer to ~HM, <STX>total,most,free<ETX><CR><LF> in kilobytes: the memory free now.
// Nothing while no answer is whole.
std::optional<long> takeFreeMemoryKb(std::string& incoming);

}  // namespace zpl
