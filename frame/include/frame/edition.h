// SPDX-License-Identifier: MIT
// What tells one program of the system from another, as data: data kinds, their
// record-to-label tables and the few frame steps that differ.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace frame {

// One SetField call: the label field receives the text at the record position (from 1).
struct LabelRow {
    std::int16_t labelField;
    std::int16_t recordPosition;
};

struct DataKind {
    std::string_view keyword;  // searched for, case-sensitively, anywhere on the command line
    std::string_view name;     // the DataKind value, e.g. "NYUKA.DAT"
    std::int16_t fieldCount;
    std::span<const LabelRow> table;  // in call order
};

enum class CommandLineForm {
    FourArguments,   // /format /data /port-kind /driver
    ThreeArguments,  // /format /data /port-kind-to-end-of-line
};

struct Edition {
    std::string_view versionText;  // printed by --version
    CommandLineForm commandLine = CommandLineForm::FourArguments;
    // Searched in this order; a later hit overrides an earlier one.
    std::span<const DataKind> dataKinds;
    std::int16_t fieldCountWithoutKind = 0;
    // Set when the program has no data-kind choice: every record goes through this kind.
    const DataKind* onlyKind = nullptr;
    // Port setting for "DRV"; empty means the driver argument of the command line.
    std::string_view fixedDriverSetting;
    std::int16_t usePrinter = 1;
    std::int16_t issueSecondArgument = 0;
    // One record buffer for the whole job instead of a fresh array per record.
    bool reusesRecordBuffer = false;
    // "印刷が完了しました。" after a job that reached the end of its data file.
    bool reportsCompletion = false;
};

}  // namespace frame
