// SPDX-License-Identifier: MIT
#include "designer/record_source.h"

#include <algorithm>
#include <stdexcept>

#include "cards/cards_edition.h"
#include "frame/field_reader.h"
#include "frame/text.h"
#include "frame/texts.h"
#include "goods/goods_edition.h"
#include "tsubaki/tsubaki_edition.h"

namespace designer {
namespace {

std::vector<DataKindChoice> everyKind() {
    std::vector<DataKindChoice> choices;
    const auto addEdition = [&](const frame::Edition& edition, std::string_view program) {
        for (const frame::DataKind& kind : edition.dataKinds) choices.push_back({kind.name, program, &edition, &kind});
    };
    addEdition(goods::kGoodsEdition, "mokuren-goods");
    addEdition(cards::kCardsEdition, "mokuren-cards");
    // TSUBAKI has one kind of record, whatever its data file is called.
    choices.push_back({"TSUBAKI", "tsubaki", &tsubaki::kTsubakiEdition, tsubaki::kTsubakiEdition.onlyKind});
    return choices;
}

std::string readFailureMessage(int failure) {
    return std::string(frame::texts::kReadFailedPrefix)
        .append(frame::withSignPosition(failure))
        .append(frame::texts::kReadFailedSuffix);
}

// The SetField calls for a record as read, in the table's order. A table never reads past
// its record.
std::vector<std::pair<std::int16_t, std::string>> setFieldCalls(const frame::DataKind& kind,
                                                                 const std::vector<std::string>& record) {
    std::vector<std::pair<std::int16_t, std::string>> calls;
    for (const frame::LabelRow& row : kind.table) {
        const auto position = static_cast<std::size_t>(row.recordPosition);
        if (position == 0 || position >= record.size()) continue;
        calls.emplace_back(row.labelField, record[position]);
    }
    return calls;
}

}  // namespace

std::span<const DataKindChoice> dataKindChoices() {
    static const std::vector<DataKindChoice> choices = everyKind();
    return choices;
}

const DataKindChoice* findDataKindChoice(std::string_view name) {
    const auto choices = dataKindChoices();
    const auto found = std::find_if(choices.begin(), choices.end(), [&](const DataKindChoice& c) { return c.name == name; });
    return found == choices.end() ? nullptr : &*found;
}

labelformat::FieldValues DataRecord::values() const {
    labelformat::FieldValues values;
    for (const auto& [field, text] : setFields) values[field] = text;
    return values;
}

RecordSource::RecordSource(const DataKindChoice& kind, std::filesystem::path file) : kind_(&kind), file_(std::move(file)) {}

// Record after record as the issuing loop reads them: the kind's field count each (at
// least one), every position read even after a failure, the last failure number kept.
std::variant<RecordSource, std::string> RecordSource::open(const std::filesystem::path& file, const DataKindChoice& kind) {
    auto reader = frame::FieldReader::open(file.string());
    if (!reader) return std::string(frame::texts::kDataFileOpenFailed);
    RecordSource source(kind, file);
    const auto length = static_cast<std::size_t>(std::max<std::int16_t>(kind.kind->fieldCount, 1));
    while (!reader->atEnd()) {
        std::vector<std::string> record(length + 1);
        DataRecord read;
        read.number = source.size() + 1;
        for (std::size_t position = 1; position < record.size(); ++position) {
            if (const int failure = reader->readField(record[position]); failure != 0) read.readFailure = failure;
        }
        if (read.refused()) {
            read.refusal = readFailureMessage(read.readFailure);
        } else {
            read.setFields = setFieldCalls(*kind.kind, record);
        }
        const bool restLost = read.refused() && read.readFailure != frame::kReadInvalidText;
        source.records_.push_back(std::move(read));
        if (restLost) {
            // A record cut short by the end of the file is the last one anyway.
            source.endedEarly_ = source.records_.back().readFailure != frame::kReadPastEnd;
            break;
        }
    }
    return source;
}

const DataRecord& RecordSource::record(std::int64_t number) const {
    if (number < 1 || number > size()) throw std::out_of_range("no record " + std::to_string(number));
    return records_[static_cast<std::size_t>(number - 1)];
}

}  // namespace designer
