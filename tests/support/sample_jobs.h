// SPDX-License-Identifier: MIT
// The seven sample jobs of the three programs, every record as the field values its
// program hands the control, for tests and benchmarks that draw real labels.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "labelformat/label_format.h"
#include "cards/cards_edition.h"
#include "frame/field_reader.h"
#include "goods/goods_edition.h"
#include "tsubaki/tsubaki_edition.h"

namespace testing_support {

struct SampleJob {
    std::string format;
    std::string dataFile;
    const frame::DataKind* kind;
};

// Test names and messages show the format.
inline void PrintTo(const SampleJob& job, std::ostream* out) { *out << job.format; }

inline std::vector<SampleJob> sampleJobs() {
    const auto& goods = goods::kGoodsEdition.dataKinds;
    const auto& cards = cards::kCardsEdition.dataKinds;
    return {{"LABEL1", "NYUKA.DAT", &goods[0]},    {"LABEL2", "SYUKA.DAT", &goods[1]},
            {"LABEL3", "NYUKA_LOT.DAT", &goods[2]}, {"CARD1", "TANACARD.DAT", &cards[0]},
            {"CARD2", "PRICCARD.DAT", &cards[1]},   {"SEAL1", "PRICSEAL.DAT", &cards[2]},
            {"TBCARD", "TSUBAKI.DAT", tsubaki::kTsubakiEdition.onlyKind}};
}

inline std::filesystem::path sampleFormatFile(const SampleJob& job) {
    return std::filesystem::path(MOKUREN_SAMPLES_DIR) / "BcpCtrl" / "formats" / (job.format + ".json");
}

inline labelformat::LabelFormat sampleFormat(const SampleJob& job) {
    return labelformat::readLabelFormatFile(sampleFormatFile(job)).value();
}

// Each record as the values after its SetField calls, over the format's defaults.
inline std::vector<labelformat::FieldValues> sampleLabels(const SampleJob& job, const labelformat::LabelFormat& format) {
    auto reader = frame::FieldReader::open((std::filesystem::path(MOKUREN_SAMPLES_DIR) / "DATA" / job.dataFile).string());
    std::vector<labelformat::FieldValues> labels;
    while (reader && !reader->atEnd()) {
        std::vector<std::string> record(static_cast<std::size_t>(job.kind->fieldCount) + 1);
        for (std::size_t position = 1; position < record.size(); ++position) reader->readField(record[position]);
        labelformat::FieldValues values;
        for (const auto& field : format.fields) values[field.number] = field.defaultText;
        for (const frame::LabelRow& row : job.kind->table) {
            values[row.labelField] = record[static_cast<std::size_t>(row.recordPosition)];
        }
        labels.push_back(std::move(values));
    }
    return labels;
}

}  // namespace testing_support
