// SPDX-License-Identifier: MIT
#include "designer/format_document.h"

#include <algorithm>
#include <set>
#include <utility>

namespace designer {
namespace {

constexpr std::string_view kNumberKey = "number";

// A plain key, or the unescaped tokens of a JSON pointer ("/font/sizePt").
std::vector<std::string> keyTokens(std::string_view key) {
    if (!key.starts_with('/')) return {std::string(key)};
    std::vector<std::string> tokens;
    for (std::size_t at = 1;;) {
        const std::size_t end = std::min(key.find('/', at), key.size());
        std::string token;
        for (std::size_t i = at; i < end; ++i) {
            if (key[i] == '~' && i + 1 < end && (key[i + 1] == '0' || key[i + 1] == '1')) {
                token += key[++i] == '0' ? '~' : '/';
            } else {
                token += key[i];
            }
        }
        tokens.push_back(std::move(token));
        if (end == key.size()) return tokens;
        at = end + 1;
    }
}

bool isNumberKey(std::string_view key) { return keyTokens(key) == std::vector<std::string>{std::string(kNumberKey)}; }

// The object that holds the key's last token, made on the way when `create`; nullptr when
// something on the way is not an object. Objects are made only past the last one there, so
// a way that fails has made nothing.
Json* holderOf(Json& object, const std::vector<std::string>& tokens, bool create) {
    Json* current = &object;
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
        if (!current->is_object()) return nullptr;
        const auto found = current->find(tokens[i]);
        if (found == current->end() && !create) return nullptr;
        current = found == current->end() ? &((*current)[tokens[i]] = Json::object()) : &*found;
    }
    return current->is_object() ? current : nullptr;
}

std::optional<std::int64_t> integerOf(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number <= static_cast<std::uint64_t>(INT64_MAX) ? std::optional<std::int64_t>(static_cast<std::int64_t>(number))
                                                               : std::nullopt;
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    return std::nullopt;
}

std::string_view arrayKey(ElementKind kind) { return kind == ElementKind::Field ? "fields" : "static"; }

std::string elementName(ElementKind kind, std::size_t index) {
    return std::string(kind == ElementKind::Field ? "field " : "static ") + std::to_string(index + 1);
}

// The same object with "number" first, as formats write it.
Json withNumberFirst(const Json& field, std::int16_t number) {
    Json numbered = Json::object();
    numbered[std::string(kNumberKey)] = number;
    for (const auto& [key, value] : field.items()) {
        if (key != kNumberKey) numbered[key] = value;
    }
    return numbered;
}

}  // namespace

FormatDocument::FormatDocument(Json json) : json_(std::move(json)) {
    history_.push_back({writeCanonical(json_), {}, {}});
    savedText_ = history_.front().text;
}

FormatDocument FormatDocument::blank(double widthMm, double heightMm, std::int16_t usePrinter) {
    FormatDocument document(Json{{"usePrinter", usePrinter},
                                 {"label", {{"widthMm", widthMm}, {"heightMm", heightMm}}},
                                 {"fields", Json::array()}});
    document.savedText_.reset();
    return document;
}

std::optional<FormatDocument> FormatDocument::fromText(std::string_view text, std::string* why) {
    auto json = parseFormatJson(text, why);
    if (!json) return std::nullopt;
    return FormatDocument(std::move(*json));
}

void FormatDocument::setDirectory(std::filesystem::path directory) {
    directory_ = std::move(directory);
    ++revision_;
}

const labelformat::Outcome<labelformat::LabelFormat>& FormatDocument::format() const {
    if (!parsed_ || parsedRevision_ != revision_) {
        parsed_ = labelformat::parseLabelFormat(text());
        if (parsed_->ok()) parsed_->value().directory = directory_;
        parsedRevision_ = revision_;
    }
    return *parsed_;
}

std::size_t FormatDocument::fieldCount() const {
    const auto found = json_.find("fields");
    return found != json_.end() && found->is_array() ? found->size() : 0;
}

std::size_t FormatDocument::staticCount() const {
    const auto found = json_.find("static");
    return found != json_.end() && found->is_array() ? found->size() : 0;
}

std::optional<std::int64_t> FormatDocument::fieldNumberAt(std::size_t index) const {
    if (index >= fieldCount()) return std::nullopt;
    const Json& field = json_["fields"][index];
    if (!field.is_object()) return std::nullopt;
    const auto number = field.find(kNumberKey);
    return number == field.end() ? std::nullopt : integerOf(*number);
}

std::optional<std::size_t> FormatDocument::fieldIndexOf(std::int16_t number) const {
    for (std::size_t index = 0; index < fieldCount(); ++index) {
        if (fieldNumberAt(index) == number) return index;
    }
    return std::nullopt;
}

std::optional<std::int16_t> FormatDocument::nextFreeNumber(std::int16_t after) const {
    std::set<std::int64_t> used;
    for (std::size_t index = 0; index < fieldCount(); ++index) {
        if (const auto number = fieldNumberAt(index)) used.insert(*number);
    }
    const int start = std::clamp<int>(after, 0, kHighestFieldNumber);
    for (int step = 1; step <= kHighestFieldNumber; ++step) {
        const int candidate = (start + step - 1) % kHighestFieldNumber + 1;
        if (!used.contains(candidate)) return static_cast<std::int16_t>(candidate);
    }
    return std::nullopt;
}

bool FormatDocument::fieldNumberUsable(const Json& value, std::optional<std::size_t> except) const {
    const auto number = integerOf(value);
    if (!number || *number < kLowestFieldNumber || *number > kHighestFieldNumber) return false;
    for (std::size_t index = 0; index < fieldCount(); ++index) {
        if (index != except && fieldNumberAt(index) == number) return false;
    }
    return true;
}

Json* FormatDocument::arrayOf(ElementKind kind, bool create) {
    const std::string key(arrayKey(kind));
    const auto found = json_.find(key);
    if (found != json_.end()) return found->is_array() ? &*found : nullptr;
    return create ? &(json_[key] = Json::array()) : nullptr;
}

Json* FormatDocument::elementJson(ElementRef element) {
    Json* array = arrayOf(element.kind, false);
    if (array == nullptr || element.index >= array->size()) return nullptr;
    Json& object = (*array)[element.index];
    return object.is_object() ? &object : nullptr;
}

bool FormatDocument::setKeyIn(Json& object, std::string_view key, Json value) {
    const auto tokens = keyTokens(key);
    Json* holder = holderOf(object, tokens, /*create=*/true);
    if (holder == nullptr) return false;
    (*holder)[tokens.back()] = std::move(value);
    return true;
}

bool FormatDocument::setDocumentKey(std::string_view key, Json value, std::string_view mergeKey) {
    if (!setKeyIn(json_, key, std::move(value))) return false;
    commit(std::string(key), mergeKey);
    return true;
}

bool FormatDocument::setLabelKey(std::string_view key, Json value, std::string_view mergeKey) {
    const auto label = json_.find("label");
    if (label == json_.end() || !label->is_object() || !setKeyIn(*label, key, std::move(value))) return false;
    commit("label: " + std::string(key), mergeKey);
    return true;
}

bool FormatDocument::setElementKey(ElementRef element, std::string_view key, Json value, std::string_view mergeKey) {
    Json* object = elementJson(element);
    if (object == nullptr || !setKeyIn(*object, key, std::move(value))) return false;
    commit(elementName(element.kind, element.index) + ": " + std::string(key), mergeKey);
    return true;
}

bool FormatDocument::removeElementKey(ElementRef element, std::string_view key) {
    Json* object = elementJson(element);
    const auto tokens = keyTokens(key);
    Json* holder = object == nullptr ? nullptr : holderOf(*object, tokens, /*create=*/false);
    if (holder == nullptr || holder->erase(tokens.back()) == 0) return false;
    commit(elementName(element.kind, element.index) + ": remove " + std::string(key), {});
    return true;
}

bool FormatDocument::setFieldKey(std::size_t index, std::string_view key, Json value, std::string_view mergeKey) {
    if (isNumberKey(key) && !fieldNumberUsable(value, index)) return false;
    return setElementKey({ElementKind::Field, index}, key, std::move(value), mergeKey);
}

bool FormatDocument::setStaticKey(std::size_t index, std::string_view key, Json value, std::string_view mergeKey) {
    return setElementKey({ElementKind::Static, index}, key, std::move(value), mergeKey);
}

bool FormatDocument::removeFieldKey(std::size_t index, std::string_view key) {
    return !isNumberKey(key) && removeElementKey({ElementKind::Field, index}, key);
}

bool FormatDocument::removeStaticKey(std::size_t index, std::string_view key) {
    return removeElementKey({ElementKind::Static, index}, key);
}

std::optional<std::size_t> FormatDocument::addField(Json field) {
    if (!field.is_object()) return std::nullopt;
    const auto given = field.find(kNumberKey);
    if (given == field.end() || !fieldNumberUsable(*given, std::nullopt)) {
        const auto number = nextFreeNumber();
        if (!number) return std::nullopt;
        if (given == field.end()) {
            field = withNumberFirst(field, *number);
        } else {
            *given = *number;
        }
    }
    Json* fields = arrayOf(ElementKind::Field, true);
    if (fields == nullptr) return std::nullopt;
    fields->push_back(std::move(field));
    commit("add field", {});
    return fields->size() - 1;
}

std::optional<std::size_t> FormatDocument::addStatic(Json element) {
    Json* statics = element.is_object() ? arrayOf(ElementKind::Static, true) : nullptr;
    if (statics == nullptr) return std::nullopt;
    statics->push_back(std::move(element));
    commit("add static element", {});
    return statics->size() - 1;
}

std::size_t FormatDocument::insertCopy(ElementRef original, Json copy) {
    Json& array = *arrayOf(original.kind, false);
    array.insert(array.begin() + static_cast<std::ptrdiff_t>(original.index) + 1, std::move(copy));
    commit("duplicate " + elementName(original.kind, original.index), {});
    return original.index + 1;
}

std::optional<std::size_t> FormatDocument::duplicateField(std::size_t index) {
    const Json* field = elementJson({ElementKind::Field, index});
    if (field == nullptr) return std::nullopt;
    const auto original = fieldNumberAt(index).value_or(0);
    const auto number = nextFreeNumber(static_cast<std::int16_t>(std::clamp<std::int64_t>(original, 0, kHighestFieldNumber)));
    if (!number) return std::nullopt;
    Json copy = *field;
    copy[std::string(kNumberKey)] = *number;
    return insertCopy({ElementKind::Field, index}, std::move(copy));
}

std::optional<std::size_t> FormatDocument::duplicateStatic(std::size_t index) {
    const Json* element = elementJson({ElementKind::Static, index});
    if (element == nullptr) return std::nullopt;
    return insertCopy({ElementKind::Static, index}, *element);
}

bool FormatDocument::removeElement(ElementRef element) {
    Json* array = arrayOf(element.kind, false);
    if (array == nullptr || element.index >= array->size()) return false;
    array->erase(element.index);
    commit("remove " + elementName(element.kind, element.index), {});
    return true;
}

bool FormatDocument::removeField(std::size_t index) { return removeElement({ElementKind::Field, index}); }

bool FormatDocument::removeStatic(std::size_t index) { return removeElement({ElementKind::Static, index}); }

bool FormatDocument::moveElement(ElementRef element, std::size_t toIndex) {
    Json* array = arrayOf(element.kind, false);
    if (array == nullptr || element.index >= array->size() || toIndex >= array->size()) return false;
    Json moved = std::move((*array)[element.index]);
    array->erase(element.index);
    array->insert(array->begin() + static_cast<std::ptrdiff_t>(toIndex), std::move(moved));
    commit("move " + elementName(element.kind, element.index), {});
    return true;
}

bool FormatDocument::replaceDocument(Json document, std::string_view stepName) {
    if (!document.is_object()) return false;
    json_ = std::move(document);
    commit(std::string(stepName), {});
    return true;
}

void FormatDocument::commit(std::string name, std::string_view mergeKey) {
    std::string text = writeCanonical(json_);
    if (text == history_[position_].text) return;
    ++revision_;
    const bool extendsGroup = groupDepth_ > 0 && groupChanged_;
    const bool merges = groupDepth_ == 0 && mergeOpen_ && !mergeKey.empty() && position_ > 0 &&
                        history_[position_].mergeKey == mergeKey;
    if (extendsGroup || merges) {
        history_[position_].text = std::move(text);
        return;
    }
    history_.erase(history_.begin() + static_cast<std::ptrdiff_t>(position_) + 1, history_.end());
    if (groupDepth_ > 0) {
        groupChanged_ = true;
        name = groupName_;
    }
    history_.push_back({std::move(text), std::move(name), groupDepth_ > 0 ? std::string() : std::string(mergeKey)});
    ++position_;
    mergeOpen_ = groupDepth_ == 0;
    if (history_.size() > kMaxSteps + 1) {
        history_.erase(history_.begin());
        --position_;
    }
}

void FormatDocument::beginStep(std::string name) {
    if (groupDepth_++ == 0) {
        groupName_ = std::move(name);
        groupChanged_ = false;
    }
}

void FormatDocument::endStep() {
    if (groupDepth_ == 0 || --groupDepth_ > 0) return;
    // A drag that came back to where it started changed nothing.
    if (groupChanged_ && history_[position_].text == history_[position_ - 1].text) {
        history_.pop_back();
        --position_;
    }
    groupChanged_ = false;
    mergeOpen_ = false;
}

std::string FormatDocument::undoName() const { return canUndo() ? history_[position_].name : std::string(); }

std::string FormatDocument::redoName() const { return canRedo() ? history_[position_ + 1].name : std::string(); }

void FormatDocument::restore(std::size_t position) {
    position_ = position;
    json_ = Json::parse(history_[position_].text);
    mergeOpen_ = false;
    ++revision_;
}

bool FormatDocument::undo() {
    if (!canUndo()) return false;
    restore(position_ - 1);
    return true;
}

bool FormatDocument::redo() {
    if (!canRedo()) return false;
    restore(position_ + 1);
    return true;
}

bool FormatDocument::isModified() const { return savedText_ ? text() != *savedText_ : position_ > 0; }

void FormatDocument::markSaved() { savedText_ = text(); }

Json newTextField(double xMm, double yMm, double widthMm, double heightMm) {
    return {{"type", "text"},       {"xMm", xMm},      {"yMm", yMm},
            {"widthMm", widthMm},   {"heightMm", heightMm}, {"rotation", 0},
            {"font", {{"family", "Noto Sans CJK JP"}, {"sizePt", 10}, {"bold", false}}},
            {"align", "left"},      {"default", ""}};
}

Json newBarcodeField(std::string_view symbology, double xMm, double yMm, double widthMm, double heightMm) {
    return {{"type", "barcode"}, {"symbology", symbology}, {"xMm", xMm},          {"yMm", yMm},
            {"widthMm", widthMm}, {"heightMm", heightMm},  {"rotation", 0},       {"humanReadable", true}};
}

Json newLine(double xMm, double yMm, double x2Mm, double y2Mm) {
    return {{"type", "line"}, {"xMm", xMm}, {"yMm", yMm}, {"x2Mm", x2Mm}, {"y2Mm", y2Mm}, {"lineWidthMm", 0.3}};
}

Json newBox(double xMm, double yMm, double widthMm, double heightMm) {
    return {{"type", "box"}, {"xMm", xMm}, {"yMm", yMm}, {"widthMm", widthMm}, {"heightMm", heightMm}, {"lineWidthMm", 0.3}};
}

Json newImage(std::string file, double xMm, double yMm, double widthMm, double heightMm) {
    return {{"type", "image"}, {"xMm", xMm}, {"yMm", yMm}, {"widthMm", widthMm}, {"heightMm", heightMm}, {"file", std::move(file)}};
}

labelformat::FieldValues sampleValues(const FormatDocument& document) {
    labelformat::FieldValues values;
    for (std::size_t index = 0; index < document.fieldCount(); ++index) {
        const auto number = document.fieldNumberAt(index);
        const Json& field = document.json()["fields"][index];
        if (!number || *number < kLowestFieldNumber || *number > kHighestFieldNumber) continue;
        std::string value;
        for (const std::string_view key : {kSampleKey, std::string_view("default")}) {
            const auto found = field.find(key);
            if (found != field.end() && found->is_string()) {
                value = found->get<std::string>();
                break;
            }
        }
        values.emplace(static_cast<std::int16_t>(*number), std::move(value));
    }
    return values;
}

std::string imagePathFor(const std::filesystem::path& formatDirectory, const std::filesystem::path& image) {
    std::error_code error;
    const auto directory = std::filesystem::absolute(formatDirectory, error).lexically_normal();
    const auto file = std::filesystem::absolute(image, error).lexically_normal();
    if (error) return image.generic_string();
    const auto relative = file.lexically_relative(directory);
    return relative.empty() ? file.generic_string() : relative.generic_string();
}

Json withImagesRelocated(Json document, const std::filesystem::path& from, const std::filesystem::path& to) {
    const auto statics = document.find("static");
    if (statics == document.end() || !statics->is_array()) return document;
    for (Json& element : *statics) {
        const auto type = element.is_object() ? element.find("type") : element.end();
        if (!element.is_object() || type == element.end() || *type != "image") continue;
        const auto file = element.find("file");
        if (file == element.end() || !file->is_string()) continue;
        const std::filesystem::path named = file->get<std::string>();
        if (named.empty() || named.is_absolute()) continue;
        *file = imagePathFor(to, from / named);
    }
    return document;
}

}  // namespace designer
