// SPDX-License-Identifier: MIT
#include "label_files.h"

#include "zplsim/barcode_bars.h"
#include "zplsim/label_picture.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace zplsim {
namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

const char* kindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Text: return "text";
        case FieldKind::Barcode: return "barcode";
        case FieldKind::Graphic: return "graphic";
        case FieldKind::Box: return "box";
    }
    return "?";
}

std::string graphicFile(int formatNumber, int graphicNumber) {
    return labelFileStem(formatNumber) + "-g" + std::to_string(graphicNumber) + ".pbm";
}

// The length of the UTF-8 sequence at the front of `text`, 0 when it is not one.
std::size_t utf8Length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) >> 6) != 0x2) return 0;
    }
    return length;
}

// Members of one object, written "key": value in order.
class Object {
public:
    Object& addJson(const char* key, const std::string& jsonValue) {
        text_ += (text_.empty() ? "{" : ", ") + jsonString(key) + ": " + jsonValue;
        return *this;
    }
    Object& add(const char* key, std::string_view value) { return addJson(key, jsonString(value)); }
    Object& add(const char* key, const char* value) { return addJson(key, jsonString(value)); }
    Object& add(const char* key, int value) { return addJson(key, std::to_string(value)); }
    Object& add(const char* key, bool value) { return addJson(key, value ? "true" : "false"); }
    Object& add(const char* key, double value) {
        char number[32];
        std::snprintf(number, sizeof number, "%.1f", value);
        return addJson(key, number);
    }
    std::string text() const { return text_.empty() ? "{}" : text_ + "}"; }

private:
    std::string text_;
};

// One item a line, as the record is meant to be read by people too.
std::string array(const std::vector<std::string>& items) {
    if (items.empty()) return "[]";
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "\n    " : ",\n    ") + items[i];
    return text + "\n  ]";
}

std::vector<std::string> strings(const std::vector<std::string>& texts) {
    std::vector<std::string> items;
    for (const std::string& text : texts) items.push_back(jsonString(text));
    return items;
}

std::string qrRecord(const Field& field) {
    const QrContent qr = readQrData(field.data);
    return Object()
        .add("errorCorrection", std::string_view(&qr.errorCorrection, 1))
        .add("inputMode", std::string_view(&qr.inputMode, 1))
        .add("characterMode", qr.characterMode ? std::string_view(&qr.characterMode, 1) : std::string_view())
        .add("text", std::string_view(qr.text))
        .add("error", std::string_view(qr.error))
        .text();
}

std::string fieldRecord(const Field& field, const std::string& file) {
    Object record;
    record.add("kind", kindName(field.kind)).add("x", field.xDots).add("y", field.yDots);
    record.add("origin", std::string_view(field.origin)).add("command", std::string_view(field.command));
    record.add("params", std::string_view(field.params));
    if (field.kind == FieldKind::Text) record.add("font", std::string_view(field.font));
    if (field.number) record.add("fieldNumber", *field.number);
    if (field.kind == FieldKind::Text && !field.block.empty()) record.add("block", std::string_view(field.block));
    if (field.kind == FieldKind::Barcode) {
        record.add("moduleWidthDots", field.bar.moduleWidthDots).add("wideToNarrow", field.bar.wideToNarrow);
        record.add("barHeightDots", field.bar.heightDots);
    }
    if (field.kind == FieldKind::Barcode || field.kind == FieldKind::Text) record.add("data", std::string_view(field.data));
    if (const BarcodeBars drawn = barcodeBars(field); !drawn.bars.empty() || !drawn.error.empty()) {
        record.add("readable", std::string_view(drawn.readable)).add("bars", std::string_view(drawn.bars));
        if (!drawn.error.empty()) record.add("barsError", std::string_view(drawn.error));
    }
    if (field.command == "BQ") record.addJson("qr", qrRecord(field));
    if (field.image) {
        record.add("source", std::string_view(field.source)).add("widthDots", field.image->widthDots);
        record.add("heightDots", field.image->heightDots).add("file", std::string_view(file));
    }
    return record.text();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string quoted = "\"";
    while (!text.empty()) {
        const std::size_t length = utf8Length(text);
        const char c = text[0];
        if (length == 0) {
            quoted += kReplacementCharacter;
        } else if (c == '"' || c == '\\') {
            quoted += std::string("\\") + c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted.append(text.substr(0, length));
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return quoted + "\"";
}

std::string labelFileStem(int formatNumber) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "label-%04d", formatNumber);
    return stem;
}

std::string labelPictureFile(int formatNumber) { return labelFileStem(formatNumber) + ".pbm"; }

std::string labelRecord(const Label& label) {
    std::vector<std::string> fields;
    int graphics = 0;
    for (const Field& field : label.fields) {
        fields.push_back(fieldRecord(field, field.image ? graphicFile(label.number, ++graphics) : ""));
    }
    const std::string head = Object()
                                 .add("format", label.number)
                                 .add("prints", label.prints())
                                 .add("copies", label.copies)
                                 .add("pauseCount", label.pauseCount)
                                 .add("printMode", std::string_view(&label.printMode, 1))
                                 .add("cutAfterLastCopy", label.cutsAfterCopy(label.copies))
                                 .add("printWidthDots", label.printWidthDots)
                                 .add("labelLengthDots", label.labelLengthDots)
                                 .add("encoding", label.encoding)
                                 .text();
    const std::string picture = label.prints() ? jsonString(labelPictureFile(label.number)) : "null";
    return head.substr(0, head.size() - 1) + ",\n  \"picture\": " + picture +
           ",\n  \"undrawn\": " + array(strings(labelPicture(label).undrawn)) + ",\n  \"fields\": " + array(fields) +
           ",\n  \"commands\": " + array(strings(label.commands)) + ",\n  \"errors\": " + array(strings(label.errors)) +
           "\n}\n";
}

LabelFiles::LabelFiles(std::filesystem::path directory) : directory_(std::move(directory)) {
    std::filesystem::create_directories(directory_);
}

void LabelFiles::received(const Label& label) const {
    int graphics = 0;
    for (const Field& field : label.fields) {
        if (field.image) writeFile(directory_ / graphicFile(label.number, ++graphics), portableBitmap(*field.image));
    }
    if (label.prints()) writeFile(directory_ / labelPictureFile(label.number), portableBitmap(labelPicture(label).dots));
    writeFile(directory_ / (labelFileStem(label.number) + ".json"), labelRecord(label));
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
