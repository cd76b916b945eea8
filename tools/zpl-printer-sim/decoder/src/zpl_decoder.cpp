// SPDX-License-Identifier: MIT
#include "zplsim/zpl_decoder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <set>

namespace zplsim {
namespace {

// Commands that take no parameters end with their code, so a printer acts on them at
// once (a status query or the end of a format is not left waiting for the next command).
const std::set<std::string> kWithoutParameters{"^XA", "^XZ", "^FS", "~HS", "~HM", "~JA"};

// Graphic data is shortened to its length in the commands of a label record.
constexpr std::size_t kLongestRecordedParameters = 80;
// A stored format that recalls stored formats: no deeper than this.
constexpr int kDeepestRecall = 4;

bool isPrefix(char c) { return c == '^' || c == '~'; }

struct Command {
    std::string code;
    std::string params;
};

// The first whole command off the front of `buffer` (text before it dropped); nothing while
// its end has not come. A command ends where the next begins, but those without
// parameters end with their code. `scanned` keeps where the search for the end went on.
std::optional<Command> nextCommand(std::string& buffer, std::size_t& scanned, bool atEnd) {
    const auto start = std::find_if(buffer.begin(), buffer.end(), isPrefix);
    if (start != buffer.begin()) {
        scanned = 0;
        buffer.erase(buffer.begin(), start);  // text between commands means nothing
    }
    if (buffer.size() < 3) return std::nullopt;
    std::string code = buffer.substr(0, 3);
    std::transform(code.begin(), code.end(), code.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    std::size_t parametersAt = 3;
    if (code.compare(0, 2, "^A") == 0) {  // ^A is followed by the font name directly
        code = "^A";
        parametersAt = 2;
    }
    std::size_t end = parametersAt;
    if (!kWithoutParameters.contains(code)) {
        const auto next = std::find_if(buffer.begin() + static_cast<std::ptrdiff_t>(std::max(scanned, end)), buffer.end(), isPrefix);
        if (next == buffer.end() && !atEnd) {
            scanned = buffer.size();
            return std::nullopt;
        }
        end = static_cast<std::size_t>(next - buffer.begin());
    }
    Command command{code, buffer.substr(parametersAt, end - parametersAt)};
    buffer.erase(0, end);
    scanned = 0;
    return command;
}

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return result;
}

std::vector<std::string> split(std::string_view text, std::size_t maxParts) {
    std::vector<std::string> parts;
    while (parts.size() + 1 < maxParts) {
        const auto comma = text.find(',');
        if (comma == std::string_view::npos) break;
        parts.emplace_back(text.substr(0, comma));
        text.remove_prefix(comma + 1);
    }
    parts.emplace_back(text);
    return parts;
}

std::optional<long> number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || text.empty()) return std::nullopt;
    static_cast<void>(end);
    return value;
}

int numberOr(const std::vector<std::string>& parts, std::size_t index, int fallback) {
    if (index >= parts.size()) return fallback;
    const auto value = number(parts[index]);
    return value ? static_cast<int>(*value) : fallback;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// ^FH: the escape character and two hexadecimal digits stand for one byte.
std::string withHexEscapes(std::string_view data, char escape) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] == escape && i + 2 < data.size() && hexDigit(data[i + 1]) >= 0 && hexDigit(data[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(data[i + 1]) * 16 + hexDigit(data[i + 2]));
            i += 2;
        } else {
            out += data[i];
        }
    }
    return out;
}

std::string recorded(const std::string& code, const std::string& params) {
    if (params.size() <= kLongestRecordedParameters) return code + params;
    return code + params.substr(0, kLongestRecordedParameters) + "...(" + std::to_string(params.size()) + " bytes)";
}

Field newField(FieldKind kind, std::string command, std::string params) {
    Field field;
    field.kind = kind;
    field.command = std::move(command);
    field.params = std::move(params);
    return field;
}

bool isBarcode(const std::string& code) { return code.size() == 3 && code[1] == 'B' && code != "^BY"; }

// "*" matches any run of characters, as ^ID names objects.
bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.empty()) return name.empty();
    if (pattern.front() == '*') {
        for (std::size_t skip = 0; skip <= name.size(); ++skip) {
            if (matchesPattern(name.substr(skip), pattern.substr(1))) return true;
        }
        return false;
    }
    return !name.empty() && name.front() == pattern.front() && matchesPattern(name.substr(1), pattern.substr(1));
}

}  // namespace

bool Label::cutsAfterCopy(int copyNumber) const {
    if (cutNow && copyNumber == copies) return true;
    if (printMode != 'C') return false;
    const int group = pauseCount > 0 ? pauseCount : 1;
    return copyNumber % group == 0 || copyNumber == copies;
}

std::string objectName(std::string_view name, std::string_view defaultExtension) {
    std::string device = "R";
    if (name.size() >= 2 && name[1] == ':') {
        device = std::string(1, name[0]);
        name.remove_prefix(2);
    }
    std::string object(name);
    if (object.find('.') == std::string::npos) object += defaultExtension;
    return upper(device + ":" + object);
}

std::string storedGraphicName(std::string_view name) { return objectName(name, ".GRF"); }

void Decoder::feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (c != '\r' && c != '\n') buffer_ += c;
    }
    while (takeCommand(false)) {
    }
}

void Decoder::finish() {
    while (takeCommand(true)) {
    }
    buffer_.clear();
    scanned_ = 0;
    if (label_) {
        if (events_.rejected) events_.rejected("the input ends inside a format");
        label_.reset();
    }
}

// Takes the first whole command off the buffer; false when there is none yet.
bool Decoder::takeCommand(bool atEnd) {
    const auto command = nextCommand(buffer_, scanned_, atEnd);
    if (!command) return false;
    run(command->code, command->params);
    return true;
}

// The commands of a stored format, run where ^XF recalls it.
void Decoder::runStored(const std::string& text) {
    std::string buffer = text;
    std::size_t scanned = 0;
    while (const auto command = nextCommand(buffer, scanned, true)) run(command->code, command->params);
}

void Decoder::run(const std::string& code, const std::string& params) {
    if (code[0] == '~') {
        runControl(code, params);
    } else if (storing_ && code != "^XZ" && code != "^XA") {
        // ^DF keeps the commands up to ^XZ as text; the ^FS that closes ^DF itself is not one of them.
        label_->commands.push_back(recorded(code, params));
        if (storing_->started || code != "^FS") storing_->text += code + params;
        storing_->started = true;
    } else if (code == "^XA") {
        startFormat();
    } else if (label_) {
        label_->commands.push_back(recorded(code, params));
        runFormat(code, params);
    } else if (code == "^CN" && params == "1" && events_.cutNow) {
        events_.cutNow();
    }
    // Other commands outside a format are ignored, as a printer ignores them.
}

void Decoder::runControl(const std::string& code, const std::string& params) {
    if (label_) label_->commands.push_back(recorded(code, params));
    if (code == "~HS") {
        if (events_.hostStatusQuery) events_.hostStatusQuery();
    } else if (code == "~HM") {
        if (events_.memoryQuery) events_.memoryQuery();
    } else if (code == "~JA") {
        label_.reset();
        field_ = {};
        if (events_.cancelAll) events_.cancelAll();
    } else if (code == "~DG") {
        storeGraphic(params);
    } else if (code == "~DB") {
        storeFont(params);
    }
}

void Decoder::runFormat(const std::string& code, const std::string& params) {
    const auto parts = split(params, 6);
    if (code == "^XZ") {
        endFormat();
    } else if (code == "^PQ") {
        label().copies = std::max(1, numberOr(parts, 0, 1));
        label().pauseCount = numberOr(parts, 1, 0);
        label().overridePause = parts.size() > 3 && upper(parts[3]) == "Y";
    } else if (code == "^MM") {
        if (!params.empty()) printMode_ = static_cast<char>(std::toupper(static_cast<unsigned char>(params[0])));
    } else if (code == "^PW") {
        printWidthDots_ = numberOr(parts, 0, printWidthDots_);
    } else if (code == "^LL") {
        labelLengthDots_ = numberOr(parts, 0, labelLengthDots_);
    } else if (code == "^LH") {
        homeX_ = numberOr(parts, 0, homeX_);
        homeY_ = numberOr(parts, 1, homeY_);
    } else if (code == "^CI") {
        encoding_ = numberOr(parts, 0, encoding_);
    } else if (code == "^CF") {
        defaultFont_ = params;
    } else if (code == "^BY") {
        bar_.moduleWidthDots = numberOr(parts, 0, bar_.moduleWidthDots);
        if (parts.size() > 1 && !parts[1].empty()) bar_.wideToNarrow = std::strtod(parts[1].c_str(), nullptr);
        bar_.heightDots = numberOr(parts, 2, bar_.heightDots);
    } else if (code == "^ID") {
        deleteObjects(params);
    } else if (code == "^DF") {
        storing_ = StoringFormat{objectName(split(params, 2)[0], ".ZPL"), "", false};
    } else if (code == "^XF") {
        recallFormat(params);
    } else {
        runFieldCommand(code, params);
    }
}

void Decoder::runFieldCommand(const std::string& code, const std::string& params) {
    const auto parts = split(params, 3);
    if (code == "^FO" || code == "^FT") {
        // ^FT without a coordinate goes on from the text typeset last; ^FO's default is 0.
        const auto coordinate = [&](std::size_t index) -> std::optional<int> {
            const auto value = index < parts.size() ? number(parts[index]) : std::nullopt;
            if (value) return static_cast<int>(*value);
            return code == "^FO" ? std::optional<int>(0) : std::nullopt;
        };
        field_.x = coordinate(0);
        field_.y = coordinate(1);
        field_.origin = code.substr(1);
        field_.placed = true;
    } else if (code == "^FN") {
        field_.number = numberOr(parts, 0, 0);
    } else if (code == "^FD" || code == "^FV") {
        field_.data = params;
    } else if (code == "^FH") {
        field_.hexEscape = params.empty() ? '_' : params[0];
    } else if (code == "^FS") {
        endField();
    } else if (code == "^A") {
        field_.font = params;
    } else if (code == "^FB") {
        field_.block = params;
    } else if (code == "^GB") {
        field_.pending = newField(FieldKind::Box, "GB", params);
    } else if (isBarcode(code)) {
        field_.pending = newField(FieldKind::Barcode, code.substr(1), params);
        field_.pending->bar = bar_;
    } else if (code == "^GF") {
        graphicField(params);
    } else if (code == "^XG") {
        recallGraphic(params);
    }
}

void Decoder::startFormat() {
    if (label_) error("^XA inside a format: the format so far is dropped");
    label_ = Label{};
    label_->number = ++formats_;
    bar_ = {};
    field_ = {};
    storing_.reset();
    texts_.clear();
    numbered_.clear();
}

void Decoder::endFormat() {
    if (field_.pending || field_.data) error("a field without ^FS");
    if (storing_) storedFormats_[storing_->name] = storing_->text;
    storing_.reset();
    mergeNumberedFields();
    typesetTexts();
    Label done = std::move(*label_);
    label_.reset();
    field_ = {};
    done.printMode = printMode_;
    done.printWidthDots = printWidthDots_;
    done.labelLengthDots = labelLengthDots_;
    done.encoding = encoding_;
    if (events_.label) events_.label(std::move(done));
}

void Decoder::endField() {
    std::optional<Field> field = std::move(field_.pending);
    const std::string data = field_.data ? (field_.hexEscape ? withHexEscapes(*field_.data, *field_.hexEscape) : *field_.data) : "";
    if (!field && field_.number && field_.data && !field_.placed) {
        numbered_[*field_.number] = data;  // ^FN with ^FD and nothing else: the data of the fields of that number
        field_ = {};
        return;
    }
    const bool text = !field && (field_.data || field_.number);
    if (text) {
        field = Field{};
        field->command = "A";
        field->font = field_.font.empty() ? defaultFont_ : field_.font;
        field->block = field_.block;
    }
    if (field) {
        field->xDots = field_.x.value_or(0) + homeX_;
        field->yDots = field_.y.value_or(0) + homeY_;
        // ZPL printers print a QR code placed with ^FO lower by the bar height of the ^BY
        // in force (10 dots at power-up), although ^BQ draws no bars.
        if (field->command == "BQ" && field_.origin == "FO") field->yDots += field->bar.heightDots;
        field->origin = field_.origin;
        field->number = field_.number;
        field->data = data;
        if (text) textField(*field);
        label().fields.push_back(std::move(*field));
    }
    field_ = {};
}

// Text in a font downloaded with ~DB (^A@ with its .FNT name) is typeset at the end of the
// format; other fonts are recorded and not drawn.
void Decoder::textField(Field& field) {
    if (field.font.empty() || field.font.front() != '@') return;
    const auto parts = split(std::string_view(field.font).substr(1), 4);
    if (parts.size() > 3 && !parts[3].empty()) lastFontName_ = objectName(parts[3], ".FNT");
    if (lastFontName_.size() < 4 || lastFontName_.substr(lastFontName_.size() - 4) != ".FNT") return;
    const auto found = fonts_.find(lastFontName_);
    if (found == fonts_.end()) return error("^A@: no font " + lastFontName_);
    if (!parts[0].empty() && upper(parts[0]) != "N") return error("^A@: text turned in a bitmap font is not typeset here");
    if (!field.block.empty()) return error("^A@: ^FB with a bitmap font is not typeset here");
    const BitmapFont& font = *found->second;
    const auto height = parts.size() > 1 ? number(parts[1]) : std::nullopt;
    const auto width = parts.size() > 2 ? number(parts[2]) : std::nullopt;
    // A bitmap font is magnified by whole factors, the nearest to the size asked for; a size
    // not given follows the other, and neither given is the font's own.
    const auto factor = [](std::optional<long> dots, int cell) {
        return dots && *dots > 0 ? std::max(1, static_cast<int>(std::lround(static_cast<double>(*dots) / std::max(cell, 1)))) : 0;
    };
    int magnifyY = factor(height, font.cellHeightDots);
    int magnifyX = factor(width, font.cellWidthDots);
    if (magnifyX == 0) magnifyX = std::max(magnifyY, 1);
    if (magnifyY == 0) magnifyY = magnifyX;
    texts_.push_back({label().fields.size(), found->second, magnifyX, magnifyY,
                      field_.x ? std::optional<int>(*field_.x + homeX_) : std::nullopt,
                      field_.y ? std::optional<int>(*field_.y + homeY_) : std::nullopt, field_.origin == "FT", encoding_});
}

// Every ^FN field takes the data the format gave for its number (else keeps its own).
void Decoder::mergeNumberedFields() {
    for (Field& field : label().fields) {
        if (!field.number) continue;
        const auto given = numbered_.find(*field.number);
        if (given != numbered_.end()) field.data = given->second;
    }
}

// In the order of the fields: a text field without a position goes on where the text typeset
// just before it ended; after any other field that position is not known.
void Decoder::typesetTexts() {
    bool followsText = false;  // the field before was typeset: the pen after it is known
    int nextX = 0;             // the pen after the last field, on its baseline
    int nextY = 0;
    auto text = texts_.begin();
    for (std::size_t index = 0; index < label().fields.size(); ++index) {
        Field& field = label().fields[index];
        if (text == texts_.end() || text->field != index) {
            followsText = false;
            continue;
        }
        const TextToTypeset& pending = *text++;
        if ((!pending.x || !pending.y) && !followsText) {
            error("^FT without a position, after no typeset text");
            continue;
        }
        const int x = pending.x.value_or(nextX);
        const int y = pending.y ? *pending.y + (pending.baseline ? 0 : pending.font->baselineDots * pending.magnifyY) : nextY;
        TypesetText typeset = zplsim::typeset(*pending.font, characterCodes(field.data, pending.encoding), x, y,
                                              pending.magnifyX, pending.magnifyY);
        field.xDots = x;
        field.yDots = pending.baseline || !pending.y ? y : *pending.y;
        field.typeset = typeset.dots ? std::move(*typeset.dots) : Bitmap{};
        field.typesetLeftDots = typeset.leftDots;
        field.typesetTopDots = typeset.topDots;
        followsText = true;
        nextX = typeset.endXDots;
        nextY = y;
    }
}

void Decoder::recallFormat(const std::string& params) {
    const std::string name = objectName(split(params, 2)[0], ".ZPL");
    const auto found = storedFormats_.find(name);
    if (found == storedFormats_.end()) return error("^XF: no stored format " + name);
    if (recallDepth_ >= kDeepestRecall) return error("^XF: stored formats recalled " + std::to_string(kDeepestRecall) + " deep");
    ++recallDepth_;
    const std::string text = found->second;  // the stored format may replace itself
    runStored(text);
    --recallDepth_;
}

void Decoder::graphicField(const std::string& params) {
    const auto parts = split(params, 5);
    if (parts.size() < 5 || upper(parts[0]) != "A") {
        error("^GF other than ASCII data (type A) is not taken");
        return;
    }
    const auto total = number(parts[2]);
    const auto perRow = number(parts[3]);
    DecodedGraphic decoded = decodeGraphicData(parts[4], total && *total > 0 ? static_cast<std::size_t>(*total) : 0,
                                               perRow && *perRow > 0 ? static_cast<std::size_t>(*perRow) : 0);
    if (!decoded.error.empty()) error("^GF: " + decoded.error);
    if (!decoded.bitmap) return;
    field_.pending = newField(FieldKind::Graphic, "GF", parts[0] + "," + parts[1] + "," + parts[2] + "," + parts[3]);
    field_.pending->image = std::move(decoded.bitmap);
    field_.pending->source = "GF " + decoded.encoding;
}

void Decoder::recallGraphic(const std::string& params) {
    const auto parts = split(params, 3);
    const std::string name = storedGraphicName(parts[0]);
    const auto found = stored_.find(name);
    if (found == stored_.end()) {
        error("^XG: no stored graphic " + name);
        return;
    }
    const Bitmap image = magnified(found->second, std::max(1, numberOr(parts, 1, 1)), std::max(1, numberOr(parts, 2, 1)));
    field_.pending = newField(FieldKind::Graphic, "XG", params);
    field_.pending->image = image;
    field_.pending->source = name;
}

void Decoder::storeGraphic(const std::string& params) {
    const auto parts = split(params, 4);
    if (parts.size() < 4) {
        error("~DG without its byte counts");
        return;
    }
    const std::string name = storedGraphicName(parts[0]);
    const auto total = number(parts[1]);
    const auto perRow = number(parts[2]);
    DecodedGraphic decoded = decodeGraphicData(parts[3], total && *total > 0 ? static_cast<std::size_t>(*total) : 0,
                                               perRow && *perRow > 0 ? static_cast<std::size_t>(*perRow) : 0);
    if (!decoded.error.empty()) error("~DG " + name + ": " + decoded.error);
    if (!decoded.bitmap) return;
    stored_[name] = *decoded.bitmap;
    if (events_.graphicStored) events_.graphicStored(name, *decoded.bitmap);
}

std::size_t Decoder::storedBytes() const {
    std::size_t bytes = 0;
    for (const auto& [name, bitmap] : stored_) bytes += bitmap.bits.size();
    for (const auto& [name, font] : fonts_) {
        for (const auto& [code, character] : font->characters) bytes += character.bitmap ? character.bitmap->bits.size() : 0;
    }
    for (const auto& [name, text] : storedFormats_) bytes += text.size();
    return bytes;
}

void Decoder::storeFont(const std::string& params) {
    DownloadedFont downloaded = readBitmapFont(params);
    if (!downloaded.error.empty()) error(downloaded.error);
    if (downloaded.font) fonts_[downloaded.name] = std::make_shared<const BitmapFont>(std::move(*downloaded.font));
}

// ^ID: graphics, fonts and formats whose names match ("*" any run of characters).
void Decoder::deleteObjects(const std::string& params) {
    const std::string pattern = storedGraphicName(split(params, 2)[0]);
    const auto matching = [&](const auto& entry) { return matchesPattern(entry.first, pattern); };
    std::erase_if(stored_, matching);
    std::erase_if(fonts_, matching);
    std::erase_if(storedFormats_, matching);
}

void Decoder::error(std::string text) {
    if (label_) label_->errors.push_back(text);
    if (events_.rejected) events_.rejected(text);
}

Label& Decoder::label() { return *label_; }

}  // namespace zplsim
