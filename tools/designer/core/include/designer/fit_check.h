// SPDX-License-Identifier: MIT
// Every label of a data file checked before one is printed: each field whose value in some
// record is condensed, cut, without glyphs or refused, or whose barcode is not read back,
// with the record where it is worst. A value already checked for a field is not checked
// again, so a file's time grows with its distinct values.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "designer/findings.h"
#include "designer/label_proof.h"
#include "designer/record_source.h"

namespace designer {

// One kind of finding on one field over the whole file.
struct FieldFit {
    Finding worst;                 // the finding of the worst record
    std::int64_t worstRecord = 0;  // refused and unreadable beat cut, cut beats condensed;
                                   // the lowest factor is the worst condensing
    std::int64_t records = 0;      // how many records have it
};

struct FitReport {
    std::int64_t recordsChecked = 0;
    std::vector<FieldFit> fields;  // by field position, then kind
    // Records the program cannot read: (record number, message).
    std::vector<std::pair<std::int64_t, std::string>> refusedRecords;
    bool stopped = false;  // the progress callback asked to stop

    bool anyRefusedOrUnreadable() const;
};

struct FitOptions {
    ProofOptions proof;
    // Called after each record with (records done, all records); false stops the check.
    std::function<bool(std::int64_t, std::int64_t)> progress;
};

FitReport checkFit(LabelChecker& checker, const RecordSource& records, const FitOptions& options = {});

}  // namespace designer
