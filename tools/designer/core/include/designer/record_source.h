// SPDX-License-Identifier: MIT
// A data file read as a program reads it: by the programs' own field reader (CP932), one
// record of its kind's field count after another, each mapped by the edition's own
// record-to-label table. Record N gives exactly the SetField calls the program makes for
// its Nth label; a record the program cannot read gives the message it would show.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "frame/edition.h"
#include "labelformat/label_format.h"

namespace designer {

// A data kind as the programs name it, and the program that reads it.
struct DataKindChoice {
    std::string_view name;     // "NYUKA.DAT", ... "PRICSEAL.DAT", or "TSUBAKI"
    std::string_view program;  // "mokuren-goods", "mokuren-cards", "tsubaki"
    const frame::Edition* edition = nullptr;
    const frame::DataKind* kind = nullptr;
};

// Every kind, goods edition first, then the card edition, then TSUBAKI.
std::span<const DataKindChoice> dataKindChoices();
// nullptr for a name no program reads.
const DataKindChoice* findDataKindChoice(std::string_view name);

struct DataRecord {
    std::int64_t number = 0;  // from 1, as the programs count labels
    // The SetField calls, in the program's order: (label field, text).
    std::vector<std::pair<std::int16_t, std::string>> setFields;
    int readFailure = 0;  // 0, or the reader's failure number
    std::string refusal;  // the program's message when readFailure != 0

    bool refused() const { return readFailure != 0; }
    // The text each label field receives (a later call to the same field wins).
    labelformat::FieldValues values() const;
};

class RecordSource {
public:
    // Reads the whole file. The error is the program's own message for a file it cannot
    // open.
    static std::variant<RecordSource, std::string> open(const std::filesystem::path& file, const DataKindChoice& kind);

    const DataKindChoice& kind() const { return *kind_; }
    const std::filesystem::path& file() const { return file_; }
    std::int64_t size() const { return static_cast<std::int64_t>(records_.size()); }
    // Record `number`, from 1 to size().
    const DataRecord& record(std::int64_t number) const;
    const std::vector<DataRecord>& records() const { return records_; }
    // True when a failure ended the reading before the end of the file (the reader gives
    // nothing after it): the program stops its job at that record too. After text that is
    // not CP932, which stops the program as well, the designer reads on to show the rest.
    bool endedEarly() const { return endedEarly_; }

private:
    RecordSource(const DataKindChoice& kind, std::filesystem::path file);

    const DataKindChoice* kind_;
    std::filesystem::path file_;
    std::vector<DataRecord> records_;
    bool endedEarly_ = false;
};

}  // namespace designer
