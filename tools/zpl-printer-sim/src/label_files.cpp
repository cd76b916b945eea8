// SPDX-License-Identifier: MIT
#include "label_files.h"

#include <cstdio>
#include <fstream>

namespace zplsim {
namespace {

using Json = nlohmann::ordered_json;

const char* kindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Text: return "text";
        case FieldKind::Barcode: return "barcode";
        case FieldKind::Graphic: return "graphic";
    }
    return "?";
}

std::string graphicFile(int formatNumber, int graphicNumber) {
    return labelFileStem(formatNumber) + "-g" + std::to_string(graphicNumber) + ".pbm";
}

Json fieldRecord(const Field& field, const std::string& file) {
    Json record{{"kind", kindName(field.kind)}, {"x", field.xDots}, {"y", field.yDots}, {"origin", field.origin},
                {"command", field.command}, {"params", field.params}};
    if (field.kind == FieldKind::Text) record["font"] = field.font;
    if (field.kind == FieldKind::Barcode) {
        record["moduleWidthDots"] = field.bar.moduleWidthDots;
        record["wideToNarrow"] = field.bar.wideToNarrow;
        record["barHeightDots"] = field.bar.heightDots;
    }
    if (field.kind != FieldKind::Graphic) record["data"] = field.data;
    if (field.command == "BQ") {
        const QrContent qr = readQrData(field.data);
        record["qr"] = Json{{"errorCorrection", std::string(1, qr.errorCorrection)},
                            {"inputMode", std::string(1, qr.inputMode)},
                            {"characterMode", qr.characterMode ? std::string(1, qr.characterMode) : ""},
                            {"text", qr.text}, {"error", qr.error}};
    }
    if (field.image) {
        record["source"] = field.source;
        record["widthDots"] = field.image->widthDots;
        record["heightDots"] = field.image->heightDots;
        record["file"] = file;
    }
    return record;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

std::string labelFileStem(int formatNumber) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "label-%04d", formatNumber);
    return stem;
}

Json labelRecord(const Label& label) {
    Json fields = Json::array();
    int graphics = 0;
    for (const Field& field : label.fields) {
        fields.push_back(fieldRecord(field, field.image ? graphicFile(label.number, ++graphics) : ""));
    }
    return Json{{"format", label.number},     {"prints", label.prints()},
                {"copies", label.copies},     {"pauseCount", label.pauseCount},
                {"printMode", std::string(1, label.printMode)},
                {"cutAfterLastCopy", label.cutsAfterCopy(label.copies)},
                {"printWidthDots", label.printWidthDots}, {"labelLengthDots", label.labelLengthDots},
                {"encoding", label.encoding}, {"fields", std::move(fields)},
                {"commands", label.commands}, {"errors", label.errors}};
}

LabelFiles::LabelFiles(std::filesystem::path directory) : directory_(std::move(directory)) {
    std::filesystem::create_directories(directory_);
}

void LabelFiles::received(const Label& label) const {
    int graphics = 0;
    for (const Field& field : label.fields) {
        if (field.image) writeFile(directory_ / graphicFile(label.number, ++graphics), portableBitmap(*field.image));
    }
    // Field data that is not UTF-8 (Shift JIS in a QR code) is shown with replacement characters.
    const std::string json = labelRecord(label).dump(2, ' ', false, Json::error_handler_t::replace);
    writeFile(directory_ / (labelFileStem(label.number) + ".json"), json + "\n");
}

void LabelFiles::printed(const Label& label, int copy) const {
    std::ofstream(directory_ / "printed.log", std::ios::app)
        << labelFileStem(label.number) << " copy " << copy << "/" << label.copies
        << (label.cutsAfterCopy(copy) ? " cut" : "") << std::endl;
}

void LabelFiles::stored(const std::string& name, const Bitmap& bitmap) const {
    std::string file = "stored-" + name + ".pbm";
    std::replace(file.begin(), file.end(), ':', '_');
    writeFile(directory_ / file, portableBitmap(bitmap));
}

}  // namespace zplsim
