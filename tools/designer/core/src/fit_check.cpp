// SPDX-License-Identifier: MIT
#include "designer/fit_check.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace designer {
namespace {

using labelformat::FieldType;

// What one field shows for one value: the same in every record that gives it that value.
using FieldFindings = std::vector<Finding>;

// Refused and unreadable first, then cut, missing glyphs, condensed; within a kind the
// stronger case (less condensing left, more glyphs missing) is worse.
bool worseThan(const Finding& a, const Finding& b) {
    if (a.kind == FindingKind::Condensed && b.kind == FindingKind::Condensed) return a.condense < b.condense;
    if (a.kind == FindingKind::MissingGlyphs && b.kind == FindingKind::MissingGlyphs) return a.missingGlyphs > b.missingGlyphs;
    return false;
}

class FitCheck {
public:
    FitCheck(LabelChecker& checker, const FitOptions& options) : checker_(checker), options_(options) {}

    void check(const DataRecord& record) {
        const auto values = labelValues(checker_.format(), record.values());
        const auto& fields = checker_.format().fields;
        std::vector<bool> known(fields.size());
        bool allKnown = true;
        for (std::size_t index = 0; index < fields.size(); ++index) {
            known[index] = memo_.contains(keyOf(index, values.at(fields[index].number)));
            allKnown = allKnown && known[index];
        }
        if (!allKnown) checkNewValues(values, known);
        for (std::size_t index = 0; index < fields.size(); ++index) {
            for (const Finding& finding : memo_.at(keyOf(index, values.at(fields[index].number)))) {
                note(finding, record.number);
            }
        }
    }

    std::vector<FieldFit> fits() const {
        std::vector<FieldFit> all;
        for (const auto& [key, fit] : fits_) all.push_back(fit);
        return all;
    }

private:
    static std::string keyOf(std::size_t index, const std::string& value) {
        return std::to_string(index).append(1, '\0').append(value);
    }

    // Lays out the label and reads back the barcodes whose values are new; every field's
    // findings for its value go into the memo.
    void checkNewValues(const labelformat::FieldValues& values, const std::vector<bool>& known) {
        const auto& fields = checker_.format().fields;
        std::map<std::size_t, FieldFindings> found;
        auto content = checker_.renderer().content(values);
        if (!content.ok()) {
            labelformat::FieldValues drawable = values;
            for (const Finding& refused : checker_.refusedBarcodes(values)) {
                found[*refused.fieldIndex].push_back(refused);
                drawable[refused.fieldNumber] = "";
            }
            content = checker_.renderer().content(drawable);
        }
        if (content.ok()) {  // always, with the refused barcodes empty
            const render::LabelLayout layout = checker_.renderer().layOut(content.value(), options_.proof.dotsPerInch);
            for (const Finding& finding : checker_.textFindings(layout)) found[*finding.fieldIndex].push_back(finding);
            if (options_.proof.readBack) readBackNew(layout, known, found);
        }
        for (std::size_t index = 0; index < fields.size(); ++index) {
            if (!known[index]) memo_[keyOf(index, values.at(fields[index].number))] = found[index];
        }
    }

    void readBackNew(const render::LabelLayout& layout, const std::vector<bool>& known,
                     std::map<std::size_t, FieldFindings>& found) {
        std::optional<render::Raster> picture;
        const auto& fields = checker_.format().fields;
        std::size_t barcode = 0;
        for (std::size_t index = 0; index < fields.size(); ++index) {
            if (fields[index].type != FieldType::Barcode) continue;
            const render::BarcodeElement& element = layout.barcodes[barcode++];
            if (known[index] || !element.symbol) continue;
            if (!picture) picture = checker_.renderer().paint(layout);
            const BarcodeScan scan = checker_.scanBarcode(*picture, element);
            if (!scan.readBack) {
                found[index].push_back({FindingKind::NotReadBack, index, element.fieldNumber, {}, {}, 1.0, 0, scan.read});
            }
        }
    }

    void note(const Finding& finding, std::int64_t record) {
        FieldFit& fit = fits_[{*finding.fieldIndex, finding.kind}];
        if (fit.records++ == 0 || worseThan(finding, fit.worst)) {
            fit.worst = finding;
            fit.worstRecord = record;
        }
    }

    LabelChecker& checker_;
    const FitOptions& options_;
    std::unordered_map<std::string, FieldFindings> memo_;
    std::map<std::pair<std::size_t, FindingKind>, FieldFit> fits_;
};

}  // namespace

bool FitReport::anyRefusedOrUnreadable() const {
    return !refusedRecords.empty() ||
           std::any_of(fields.begin(), fields.end(), [](const FieldFit& fit) { return fit.worst.refusesOrUnreadable(); });
}

FitReport checkFit(LabelChecker& checker, const RecordSource& records, const FitOptions& options) {
    FitReport report;
    FitCheck check(checker, options);
    for (const DataRecord& record : records.records()) {
        if (record.refused()) {
            report.refusedRecords.emplace_back(record.number, record.refusal);
        } else {
            check.check(record);
        }
        ++report.recordsChecked;
        if (options.progress && !options.progress(report.recordsChecked, records.size())) {
            report.stopped = true;
            break;
        }
    }
    report.fields = check.fits();
    return report;
}

}  // namespace designer
