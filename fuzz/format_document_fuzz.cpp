// SPDX-License-Identifier: MIT
// Every input is a label format file opened in the designer. What the loader reads, the
// designer opens (unless nested past any format's depth); its text, written back, reads
// again to itself and reads in the loader as the original does; edits and their undo end
// where they started; the checks run on anything it opens.
#include "designer/findings.h"
#include "designer/format_document.h"
#include "fuzz_check.h"

namespace {

using labelformat::LabelFormat;

bool sameFormat(const LabelFormat& a, const LabelFormat& b) {
    if (a.usePrinter != b.usePrinter || a.widthMm != b.widthMm || a.heightMm != b.heightMm ||
        a.fields.size() != b.fields.size() || a.statics.size() != b.statics.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        const auto& x = a.fields[i];
        const auto& y = b.fields[i];
        if (x.number != y.number || x.xMm != y.xMm || x.widthMm != y.widthMm || x.defaultText != y.defaultText ||
            x.font.sizePt != y.font.sizePt) {
            return false;
        }
    }
    return labelformat::findLayoutError(a) == labelformat::findLayoutError(b);
}

void editAndUndo(designer::FormatDocument document) {
    const std::string start = document.text();
    document.addField(designer::newTextField(1, 1, 10, 5));
    document.duplicateField(0);
    document.setFieldKey(0, "/font/sizePt", 12.5, "size");
    document.setFieldKey(0, "number", 7);
    document.addStatic(designer::newLine(0, 0, 10, 0));
    document.removeStatic(0);
    document.setLabelKey("widthMm", 80.0);
    while (document.undo()) {
    }
    FUZZ_CHECK(document.text() == start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzing::textOf(data, size);
    const auto loaded = labelformat::parseLabelFormat(text);
    std::string why;
    const auto document = designer::FormatDocument::fromText(text, &why);
    if (!document) {
        FUZZ_CHECK(!loaded.ok() || why == "nested too deeply");
        return 0;
    }
    const std::string written = document->text();
    const auto again = designer::FormatDocument::fromText(written);
    FUZZ_CHECK(again && again->text() == written);
    const auto reloaded = labelformat::parseLabelFormat(written);
    FUZZ_CHECK(reloaded.ok() == loaded.ok());
    if (loaded.ok()) FUZZ_CHECK(sameFormat(loaded.value(), reloaded.value()));
    const auto findings = designer::loadErrors(*document, std::int16_t{1});
    FUZZ_CHECK(loaded.ok() || (!findings.empty() && findings.front().errorNumber() == 1300));
    editAndUndo(*document);
    return 0;
}
