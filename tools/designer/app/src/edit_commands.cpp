// SPDX-License-Identifier: MIT
#include "edit_commands.h"

#include <algorithm>
#include <functional>

#include "designer/canonical_json.h"

namespace designer::gui {
namespace {

constexpr std::string_view kCopyMarker = "bcpctrl-designer-copy";
constexpr double kNewFieldWidthMm = 20.0;
constexpr double kNewTextHeightMm = 5.0;
constexpr double kNewBarcodeWidthMm = 30.0;
constexpr double kNewBarcodeHeightMm = 10.0;
constexpr double kNewImageSideMm = 10.0;
constexpr double kNewLineWidthMm = 0.25;

// One step from here to the end of the scope.
class Step {
public:
    Step(FormatDocument& document, std::string name) : document_(document) { document_.beginStep(std::move(name)); }
    ~Step() { document_.endStep(); }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;

private:
    FormatDocument& document_;
};

const labelformat::LabelFormat* readableFormat(const FormatDocument& document) {
    const auto& format = document.format();
    return format.ok() ? &format.value() : nullptr;
}

bool setKey(FormatDocument& document, ObjectRef object, std::string_view key, Json value) {
    return isField(object) ? document.setFieldKey(object.index, key, std::move(value))
                           : document.setStaticKey(object.index, key, std::move(value));
}

// Only the keys whose value changes are written, so an untouched key keeps its form (2 stays 2).
void writePlacement(FormatDocument& document, ObjectRef object, const Placement& before, const Placement& after) {
    const auto write = [&](std::string_view key, double was, double now) {
        if (was != now) setKey(document, object, key, now);
    };
    write("xMm", before.xMm, after.xMm);
    write("yMm", before.yMm, after.yMm);
    if (after.isLine) {
        write("x2Mm", before.x2Mm, after.x2Mm);
        write("y2Mm", before.y2Mm, after.y2Mm);
    } else {
        write("widthMm", before.widthMm, after.widthMm);
        write("heightMm", before.heightMm, after.heightMm);
    }
    if (isField(object) && before.rotationDeg != after.rotationDeg) setKey(document, object, "rotation", after.rotationDeg);
}

PlacementChanges changesFor(const labelformat::LabelFormat& format, const std::vector<ObjectRef>& objects,
                            const std::function<std::optional<Placement>(ObjectRef, const Placement&)>& change) {
    PlacementChanges changes;
    for (const ObjectRef object : objects) {
        const Placement before = placementOf(format, object);
        if (auto after = change(object, before); after && *after != before) changes.emplace_back(object, *after);
    }
    return changes;
}

// A copied or pasted element moved by the offset; kept on the label when it fits.
void shiftElement(Json& element, double offsetMm, double labelWidthMm, double labelHeightMm) {
    const auto number = [&](const char* key) { return element.contains(key) && element[key].is_number() ? element[key].get<double>() : 0.0; };
    const bool line = element.value("type", std::string()) == "line";
    Placement placement{line, number("xMm"), number("yMm"), number("widthMm"), number("heightMm"), number("x2Mm"), number("y2Mm"), 0};
    MmRect frame = placement.frame();
    frame.xMm += offsetMm;
    frame.yMm += offsetMm;
    const Placement moved = withFrame(placement, keptInside(frame, labelWidthMm, labelHeightMm));
    const auto put = [&](const char* key, double value) {
        if (element.contains(key)) element[key] = value;
    };
    put("xMm", moved.xMm);
    put("yMm", moved.yMm);
    put("x2Mm", moved.x2Mm);
    put("y2Mm", moved.y2Mm);
}

Json newElement(NewObject kind, double xMm, double yMm, double labelWidthMm, double labelHeightMm,
                const std::string& imageFile) {
    const auto fitting = [](double wantedMm, double labelMm) { return std::min(wantedMm, labelMm); };
    switch (kind) {
        case NewObject::TextField:
            return Json{{"number", 0}, {"type", "text"}, {"xMm", xMm}, {"yMm", yMm},
                        {"widthMm", fitting(kNewFieldWidthMm, labelWidthMm)},
                        {"heightMm", fitting(kNewTextHeightMm, labelHeightMm)}, {"rotation", 0},
                        {"font", Json{{"family", "Noto Sans CJK JP"}, {"sizePt", 10}, {"bold", false}}},
                        {"align", "left"}, {"default", ""}, {kSampleKey, "テキスト"}};
        case NewObject::BarcodeField:
            return Json{{"number", 0}, {"type", "barcode"}, {"symbology", "CODE128"}, {"xMm", xMm}, {"yMm", yMm},
                        {"widthMm", fitting(kNewBarcodeWidthMm, labelWidthMm)},
                        {"heightMm", fitting(kNewBarcodeHeightMm, labelHeightMm)}, {"rotation", 0},
                        {"humanReadable", true}, {kSampleKey, "12345678"}};
        case NewObject::Line:
            return Json{{"type", "line"}, {"xMm", xMm}, {"yMm", yMm},
                        {"x2Mm", xMm + fitting(kNewFieldWidthMm, labelWidthMm)}, {"y2Mm", yMm},
                        {"lineWidthMm", kNewLineWidthMm}};
        case NewObject::Box:
            return Json{{"type", "box"}, {"xMm", xMm}, {"yMm", yMm}, {"widthMm", fitting(kNewFieldWidthMm, labelWidthMm)},
                        {"heightMm", fitting(kNewBarcodeHeightMm, labelHeightMm)}, {"lineWidthMm", kNewLineWidthMm}};
        case NewObject::Image:
            return Json{{"type", "image"}, {"xMm", xMm}, {"yMm", yMm}, {"widthMm", fitting(kNewImageSideMm, labelWidthMm)},
                        {"heightMm", fitting(kNewImageSideMm, labelHeightMm)}, {"file", imageFile}};
    }
    return Json::object();
}

}  // namespace

labelformat::LabelFormat withPlacements(labelformat::LabelFormat format, const PlacementChanges& changes) {
    for (const auto& [object, placement] : changes) {
        if (isField(object)) {
            if (object.index >= format.fields.size()) continue;
            labelformat::LabelField& field = format.fields[object.index];
            field.xMm = placement.xMm;
            field.yMm = placement.yMm;
            field.widthMm = placement.widthMm;
            field.heightMm = placement.heightMm;
            field.rotationDeg = placement.rotationDeg;
        } else if (object.index < format.statics.size()) {
            labelformat::StaticElement& element = format.statics[object.index];
            element.xMm = placement.xMm;
            element.yMm = placement.yMm;
            element.widthMm = placement.widthMm;
            element.heightMm = placement.heightMm;
            element.x2Mm = placement.x2Mm;
            element.y2Mm = placement.y2Mm;
        }
    }
    return format;
}

void applyPlacements(FormatDocument& document, const PlacementChanges& changes, const std::string& stepName) {
    const labelformat::LabelFormat* format = readableFormat(document);
    if (format == nullptr || changes.empty()) return;
    const labelformat::LabelFormat before = *format;  // the document's format changes as keys are written
    const Step step(document, stepName);
    for (const auto& [object, placement] : changes) writePlacement(document, object, placementOf(before, object), placement);
}

bool arrangeSelection(FormatDocument& document, const std::vector<ObjectRef>& selection, Arrangement arrangement) {
    const labelformat::LabelFormat* format = readableFormat(document);
    if (format == nullptr || selection.empty()) return false;
    std::vector<MmRect> frames;
    for (const ObjectRef object : selection) frames.push_back(placementOf(*format, object).frame());
    const std::vector<MmRect> arranged = arrange(frames, arrangement, format->widthMm, format->heightMm);
    std::size_t next = 0;
    const PlacementChanges changes = changesFor(*format, selection, [&](ObjectRef, const Placement& before) {
        return std::optional<Placement>(withFrame(before, arranged[next++]));
    });
    applyPlacements(document, changes, "整列");
    return !changes.empty();
}

bool turnSelection(FormatDocument& document, const std::vector<ObjectRef>& selection) {
    const labelformat::LabelFormat* format = readableFormat(document);
    if (format == nullptr) return false;
    const PlacementChanges changes = changesFor(*format, selection, [&](ObjectRef object, const Placement& before) {
        const auto type = isField(object) ? labelformat::StaticType::Box : format->statics[object.index].type;
        return turnedQuarter(before, type, isField(object), format->widthMm, format->heightMm);
    });
    applyPlacements(document, changes, "回転");
    return !changes.empty();
}

std::optional<ObjectRef> addObject(FormatDocument& document, NewObject kind, double xMm, double yMm,
                                   const std::string& imageFile) {
    const labelformat::LabelFormat* format = readableFormat(document);
    const double widthMm = format != nullptr ? format->widthMm : kNewFieldWidthMm;
    const double heightMm = format != nullptr ? format->heightMm : kNewTextHeightMm;
    Json element = newElement(kind, xMm, yMm, widthMm, heightMm, imageFile);
    shiftElement(element, 0.0, widthMm, heightMm);
    const bool field = kind == NewObject::TextField || kind == NewObject::BarcodeField;
    if (field) {
        const auto number = document.nextFreeNumber();
        if (!number) return std::nullopt;
        element["number"] = *number;
        const auto index = document.addField(std::move(element));
        return index ? std::optional(fieldAt(*index)) : std::nullopt;
    }
    const auto index = document.addStatic(std::move(element));
    return index ? std::optional(staticAt(*index)) : std::nullopt;
}

std::string copiedText(const FormatDocument& document, const std::vector<ObjectRef>& selection) {
    Json copy{{kCopyMarker, 1}, {"fields", Json::array()}, {"static", Json::array()}};
    std::vector<ObjectRef> ordered = selection;
    std::sort(ordered.begin(), ordered.end(), DrawingOrder{});
    for (const ObjectRef object : ordered) {
        const char* array = isField(object) ? "fields" : "static";
        const Json* elements = document.json().contains(array) ? &document.json()[array] : nullptr;
        if (elements != nullptr && elements->is_array() && object.index < elements->size()) {
            copy[array].push_back((*elements)[object.index]);
        }
    }
    return writeCanonical(copy);
}

std::optional<std::vector<ObjectRef>> paste(FormatDocument& document, const std::string& text, double offsetMm) {
    const std::optional<Json> copy = parseFormatJson(text);
    if (!copy || !copy->contains(kCopyMarker)) return std::nullopt;
    const labelformat::LabelFormat* format = readableFormat(document);
    const double widthMm = format != nullptr ? format->widthMm : 0.0;
    const double heightMm = format != nullptr ? format->heightMm : 0.0;
    std::vector<ObjectRef> pasted;
    const Step step(document, "貼り付け");
    for (const char* array : {"static", "fields"}) {
        if (!copy->contains(array) || !(*copy)[array].is_array()) continue;
        for (Json element : (*copy)[array]) {
            if (!element.is_object()) continue;
            shiftElement(element, offsetMm, widthMm, heightMm);
            const bool field = std::string_view(array) == "fields";
            const auto index = field ? document.addField(std::move(element)) : document.addStatic(std::move(element));
            if (index) pasted.push_back(field ? fieldAt(*index) : staticAt(*index));
        }
    }
    return pasted;
}

std::vector<ObjectRef> duplicateSelection(FormatDocument& document, const std::vector<ObjectRef>& selection,
                                          double offsetMm) {
    std::vector<ObjectRef> originals = selection;
    std::sort(originals.begin(), originals.end(), DrawingOrder{});
    const Step step(document, "複製");
    // In order, so that the first original's copy takes the lowest free number; each copy
    // pushes the later originals of its array one place on.
    std::vector<ObjectRef> copies;
    std::size_t insertedFields = 0;
    std::size_t insertedStatics = 0;
    for (const ObjectRef original : originals) {
        std::size_t& inserted = isField(original) ? insertedFields : insertedStatics;
        const std::size_t now = original.index + inserted;
        const auto index = isField(original) ? document.duplicateField(now) : document.duplicateStatic(now);
        if (!index) continue;
        ++inserted;
        copies.push_back({original.kind, *index});
    }
    const labelformat::LabelFormat* format = readableFormat(document);
    if (format != nullptr) {
        const PlacementChanges changes = changesFor(*format, copies, [&](ObjectRef, const Placement& before) {
            MmRect frame = before.frame();
            frame.xMm += offsetMm;
            frame.yMm += offsetMm;
            return std::optional<Placement>(withFrame(before, keptInside(frame, format->widthMm, format->heightMm)));
        });
        applyPlacements(document, changes, "複製");
    }
    return copies;
}

bool removeSelection(FormatDocument& document, const std::vector<ObjectRef>& selection) {
    if (selection.empty()) return false;
    std::vector<ObjectRef> removed = selection;
    std::sort(removed.begin(), removed.end(), DrawingOrder{});
    const Step step(document, "削除");
    for (auto it = removed.rbegin(); it != removed.rend(); ++it) {
        if (isField(*it)) {
            document.removeField(it->index);
        } else {
            document.removeStatic(it->index);
        }
    }
    return true;
}

}  // namespace designer::gui
