// SPDX-License-Identifier: MIT
// zpl-printer-sim's fault scripts: every fault it knows, and a refusal of what it does not.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "zplsim/fault_script.h"

namespace zplsim {
namespace {

TEST(FaultScript, ReadsEveryFaultAndRefusesWhatItDoesNotKnow) {
    std::string bad;
    const auto rules = parseFaultScript("# faults\npaper-out:after=2,for=500\n\nno-answer\nslow:ms=300,after=1\n", bad);
    ASSERT_TRUE(rules);
    ASSERT_EQ(rules->size(), 3u);
    EXPECT_EQ((*rules)[0].kind, FaultKind::PaperOut);
    EXPECT_EQ((*rules)[0].afterLabel, 2);
    EXPECT_EQ((*rules)[0].duration, std::chrono::milliseconds(500));
    EXPECT_FALSE((*rules)[1].duration);
    EXPECT_EQ((*rules)[2].slowPerLabel, std::chrono::milliseconds(300));
    for (const std::string text : {"paper-in", "pause:after=-1", "pause:ms=3", "slow", "head-open:for", "stall:after=1,", "pause:"}) {
        EXPECT_FALSE(parseFaultRule(text)) << text;
    }
    EXPECT_FALSE(parseFaultScript("pause\nbogus\n", bad));
    EXPECT_EQ(bad, "bogus");
}

}  // namespace
}  // namespace zplsim