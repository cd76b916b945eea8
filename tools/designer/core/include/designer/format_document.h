// SPDX-License-Identifier: MIT
// A label format being designed. Its model is the JSON document itself, so that keys the
// designer does not know survive at every level; what the renderer draws is what the
// format loader reads from the document's canonical text.
//
// Every edit is one undoable step. Edits between beginStep() and endStep() make one step
// (a drag); consecutive edits with the same non-empty merge key make one step too (typing
// into one property, pressing an arrow key again and again). An edit that changes nothing
// makes no step.
//
// Fields and static elements are addressed by their position in "fields" and "static".
// Keys are a plain key ("xMm") or a JSON pointer into the element ("/font/sizePt"); the
// objects on a pointer's way are made when missing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "designer/canonical_json.h"
#include "labelformat/label_format.h"
#include "labelformat/outcome.h"

namespace designer {

enum class ElementKind { Field, Static };

// A field or static element by its position in its array.
struct ElementRef {
    ElementKind kind = ElementKind::Field;
    std::size_t index = 0;
    bool operator==(const ElementRef&) const = default;
};

inline constexpr std::int16_t kLowestFieldNumber = 1;
inline constexpr std::int16_t kHighestFieldNumber = 32767;

// A designer-side value a field shows on the canvas and in the checks without data: kept
// in the field under this key, which the format loader and the programs skip.
inline constexpr std::string_view kSampleKey = "sample";

class FormatDocument {
public:
    // {"usePrinter": N, "label": {"widthMm": W, "heightMm": H}, "fields": []}
    static FormatDocument blank(double widthMm, double heightMm, std::int16_t usePrinter);
    // nullopt when the text is not a JSON object (see parseFormatJson); `why` says why.
    static std::optional<FormatDocument> fromText(std::string_view text, std::string* why = nullptr);

    const Json& json() const { return json_; }
    // The canonical text of the document as it stands.
    const std::string& text() const { return history_[position_].text; }
    // Changes with every edit, undo and redo: whoever draws the document redraws when it moves.
    std::uint64_t revision() const { return revision_; }

    // The folder relative image paths are found from: the format file's.
    const std::filesystem::path& directory() const { return directory_; }
    void setDirectory(std::filesystem::path directory);

    // The format as the loader reads the current text (1300 when it cannot), with its
    // directory set; parsed once per revision.
    const labelformat::Outcome<labelformat::LabelFormat>& format() const;

    std::size_t fieldCount() const;
    std::size_t staticCount() const;
    // The position of the first field with this number.
    std::optional<std::size_t> fieldIndexOf(std::int16_t number) const;
    // The field's number, or nothing when it has no integer number.
    std::optional<std::int64_t> fieldNumberAt(std::size_t index) const;
    // The first number after `after` that no field uses, wrapping round to 1; nothing when
    // all 32767 are used.
    std::optional<std::int16_t> nextFreeNumber(std::int16_t after = 0) const;

    // --- Edits. False (and nothing changed) when the element or the key's way is missing.
    bool setDocumentKey(std::string_view key, Json value, std::string_view mergeKey = {});
    bool setLabelKey(std::string_view key, Json value, std::string_view mergeKey = {});
    // "number" takes only an integer 1..32767 that no other field uses.
    bool setFieldKey(std::size_t index, std::string_view key, Json value, std::string_view mergeKey = {});
    bool setStaticKey(std::size_t index, std::string_view key, Json value, std::string_view mergeKey = {});
    // "number" cannot be removed.
    bool removeFieldKey(std::size_t index, std::string_view key);
    bool removeStaticKey(std::size_t index, std::string_view key);

    // Appends an object; without a usable number of its own (missing, taken, out of range)
    // it gets nextFreeNumber(). The new field's position, or nothing when it is no object
    // or every number is taken.
    std::optional<std::size_t> addField(Json field);
    std::optional<std::size_t> addStatic(Json element);
    // The copy goes right after the original, the field's with nextFreeNumber(its number).
    std::optional<std::size_t> duplicateField(std::size_t index);
    std::optional<std::size_t> duplicateStatic(std::size_t index);
    bool removeField(std::size_t index);
    bool removeStatic(std::size_t index);
    // Moves an element to another position of its array (the drawing order).
    bool moveElement(ElementRef element, std::size_t toIndex);
    // The whole document replaced by another object (a recovered autosave, a reload), as
    // one undoable step.
    bool replaceDocument(Json document, std::string_view stepName = "replace");

    // --- Steps.
    // Nested calls count; the step is made when the outermost group ends.
    void beginStep(std::string name);
    void endStep();
    // The next edit starts a new step even if its merge key matches the last one's.
    void closeMerge() { mergeOpen_ = false; }

    bool canUndo() const { return position_ > 0 && groupDepth_ == 0; }
    bool canRedo() const { return position_ + 1 < history_.size() && groupDepth_ == 0; }
    // Names of the step undo and redo would take back or do again; empty when none.
    std::string undoName() const;
    std::string redoName() const;
    bool undo();
    bool redo();

    // Whether the text differs from the one last marked saved (a new document is modified
    // until saved, unless nothing was ever put in it).
    bool isModified() const;
    void markSaved();

    // Steps kept for undo; older ones are dropped.
    static constexpr std::size_t kMaxSteps = 1000;

private:
    struct State {
        std::string text;
        std::string name;      // of the step that led here
        std::string mergeKey;  // of that step, for merging the next
    };

    explicit FormatDocument(Json json);

    Json* elementJson(ElementRef element);
    Json* arrayOf(ElementKind kind, bool create);
    bool setKeyIn(Json& object, std::string_view key, Json value);
    bool setElementKey(ElementRef element, std::string_view key, Json value, std::string_view mergeKey);
    bool removeElementKey(ElementRef element, std::string_view key);
    bool removeElement(ElementRef element);
    // Puts the copy right after the original, which must exist; its position.
    std::size_t insertCopy(ElementRef original, Json copy);
    bool fieldNumberUsable(const Json& value, std::optional<std::size_t> except) const;
    // Makes the change to json_ a step (or part of the open one).
    void commit(std::string name, std::string_view mergeKey);
    void restore(std::size_t position);

    Json json_;
    std::vector<State> history_;
    std::size_t position_ = 0;
    int groupDepth_ = 0;
    std::string groupName_;
    bool groupChanged_ = false;
    bool mergeOpen_ = false;
    std::optional<std::string> savedText_;
    std::filesystem::path directory_;
    std::uint64_t revision_ = 0;
    mutable std::uint64_t parsedRevision_ = UINT64_MAX;
    mutable std::optional<labelformat::Outcome<labelformat::LabelFormat>> parsed_;
};

// New elements as the sample formats write them: upright, Noto Sans CJK JP 10 pt, empty
// default; the caller adds them with addField/addStatic (which numbers the field).
Json newTextField(double xMm, double yMm, double widthMm, double heightMm);
Json newBarcodeField(std::string_view symbology, double xMm, double yMm, double widthMm, double heightMm);
Json newLine(double xMm, double yMm, double x2Mm, double y2Mm);
Json newBox(double xMm, double yMm, double widthMm, double heightMm);
Json newImage(std::string file, double xMm, double yMm, double widthMm, double heightMm);

// The value each field shows without data: its "sample" when that is text, else its
// "default" (what the program prints when it sets nothing), by field number.
labelformat::FieldValues sampleValues(const FormatDocument& document);

// An image file as the format should name it: relative to the format's folder, so that the
// folder can move; absolute only when the two share no root.
std::string imagePathFor(const std::filesystem::path& formatDirectory, const std::filesystem::path& image);

// A copy of the document whose relative image paths, written for `from`, name the same
// files from `to` (a format saved into another folder).
Json withImagesRelocated(Json document, const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace designer
