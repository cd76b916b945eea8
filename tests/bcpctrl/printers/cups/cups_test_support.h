// SPDX-License-Identifier: MIT
// One private cupsd for the whole CUPS test program, with the queues every test uses:
// "Label_Zebra" (CUPS's sample ZPL driver), "Label_Zebra_300" (the same driver set to
// 300 dpi), "Pwg" (a driverless label printer taking PWG raster), "Pdf" (a printer taking
// PDF) and "Closed" (raw, rejects jobs). Each has a device tap.
#pragma once

#include <string>

#include "private_cupsd.h"

namespace cups_testing {

inline constexpr const char* kZebraQueue = "Label_Zebra";
inline constexpr const char* kZebra300Queue = "Label_Zebra_300";
inline constexpr const char* kPwgQueue = "Pwg";
inline constexpr const char* kPdfQueue = "Pdf";
inline constexpr const char* kClosedQueue = "Closed";
// Low enough that a test can fill them, high enough for the ordinary tests. cupsd counts
// the finished jobs it keeps in MaxJobs as well, so every test program's run makes it drop
// them as a long job would.
inline constexpr int kMaxJobsPerPrinter = 3;
inline constexpr int kMaxJobs = 4;

// Started on first use, stopped when the program ends.
testing_support::PrivateCupsd& sharedCupsd();

// A queue whose one filter passes documents of `format` on as they are.
void addPassThroughQueue(testing_support::PrivateCupsd& cupsd, const std::string& name, const std::string& format);

}  // namespace cups_testing
