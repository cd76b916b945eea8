// SPDX-License-Identifier: MIT
// The faults the emulator plays: "paper-out:after=2,for=500" runs out of paper once two
// labels are printed and loads it again 500 ms later.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zplsim {

enum class FaultKind { PaperOut, HeadOpen, RibbonOut, Pause, BufferFull, NoAnswer, Stall, Slow };

struct FaultRule {
    FaultKind kind = FaultKind::PaperOut;
    int afterLabel = 0;  // appears once this many labels are printed (0: at once)
    std::optional<std::chrono::milliseconds> duration;  // cleared after this long; else by SIGUSR1 or "clear"
    std::chrono::milliseconds slowPerLabel{0};          // slow: how long each label takes meanwhile
};

// One rule: NAME[:after=N][,for=MS][,ms=MS]. NAME is paper-out, head-open, ribbon-out,
// pause, buffer-full, no-answer, stall or slow (which needs ms=). Nothing when malformed.
std::optional<FaultRule> parseFaultRule(std::string_view text);

// A script file: one rule a line; blank lines and lines starting with # are skipped.
// Nothing when any line is malformed; `badLine` then holds it.
std::optional<std::vector<FaultRule>> parseFaultScript(std::string_view text, std::string& badLine);

std::string_view faultName(FaultKind kind);

}  // namespace zplsim
