// SPDX-License-Identifier: MIT
// Reads a ZPL II byte stream as a printer does: formats (^XA...^XZ) become labels with
// their fields and decoded graphics; ~DG stores graphics that ^XG recalls, ~DB bitmap fonts
// that text is typeset in, ^DF formats that ^XF recalls with the data of their ^FN fields;
// ~HS and ~JA are handed to the caller at once. Bytes may come in any pieces.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zplsim/bitmap_font.h"
#include "zplsim/graphic_data.h"

namespace zplsim {

// ^BY: the module width and the height that barcodes of the format use.
struct BarDefaults {
    int moduleWidthDots = 2;
    double wideToNarrow = 3.0;
    int heightDots = 10;
};

enum class FieldKind { Text, Barcode, Graphic, Box };

struct Field {
    FieldKind kind = FieldKind::Text;
    int xDots = 0;  // the label home (^LH) included
    int yDots = 0;  // a ^BQ at ^FO: its top as printed, the ^BY bar height below ^FO's y
    std::string origin = "FO";  // FO: top left corner; FT: text baseline or bottom of a barcode
    std::string command;        // "A" (text), "BE", "BC", "BQ"... (barcodes), "GF" or "XG" (graphics), "GB"
    std::string params;         // the command's parameters as sent (graphic data left out)
    std::string font;           // text: the ^A (or ^CF) font and its parameters, e.g. "0N,30,20"
    std::string block;          // text: the ^FB parameters, e.g. "200,1,0,R", when it has one
    BarDefaults bar;            // barcodes: the ^BY in force
    std::string data;           // ^FD, after ^FH escapes (for a ^FN field, the data given for its number)
    std::optional<Bitmap> image;  // graphics, magnified as printed
    std::string source;           // graphics: "GF hex", "GF Z64", or the stored name ("R:LOGO.GRF")
    std::optional<int> number;    // ^FN
    // Text in a downloaded bitmap font as typeset: its dots (0 × 0 without ink), and where
    // their top-left lies. Nothing for text the emulator does not typeset.
    std::optional<Bitmap> typeset;
    int typesetLeftDots = 0;
    int typesetTopDots = 0;
};

struct Label {
    int number = 0;                     // formats counted from 1 in the stream
    std::vector<std::string> commands;  // every command in order, graphic data shortened
    std::vector<Field> fields;
    int copies = 1;       // ^PQ q
    int pauseCount = 0;   // ^PQ p: labels between pauses (and cuts)
    bool overridePause = false;
    char printMode = 'T';  // ^MM: T tear-off, C cutter, P peel-off, R rewind...
    int printWidthDots = 0;
    int labelLengthDots = 0;
    int encoding = 0;  // ^CI
    bool cutNow = false;  // a ^CN1 came after it: the cutter cuts after its last copy
    std::vector<std::string> errors;

    // A format without fields (settings only, or ^ID) prints nothing.
    bool prints() const { return !fields.empty(); }
    // A cutter cuts after every pauseCount labels, or after every label without one; and
    // after the last copy when ^CN1 followed the format.
    bool cutsAfterCopy(int copyNumber) const;
};

struct DecoderEvents {
    std::function<void(Label)> label;          // at ^XZ
    std::function<void()> hostStatusQuery;     // ~HS
    std::function<void()> cancelAll;           // ~JA
    std::function<void(const std::string& name, const Bitmap&)> graphicStored;  // ~DG
    std::function<void(const std::string& error)> rejected;  // a download that was refused
    // ^CN1 between formats: cut now, after the labels printed so far. CUPS's label filter
    // sends it after a page that asks for a cut.
    std::function<void()> cutNow;
    std::function<void()> memoryQuery{};  // ~HM
};

class Decoder {
public:
    explicit Decoder(DecoderEvents events) : events_(std::move(events)) {}

    void feed(std::string_view bytes);
    // End of input: a command waiting for its end is taken as ended there.
    void finish();
    bool insideFormat() const { return label_.has_value(); }
    const std::map<std::string, Bitmap>& storedGraphics() const { return stored_; }
    const std::map<std::string, std::shared_ptr<const BitmapFont>>& storedFonts() const { return fonts_; }
    const std::map<std::string, std::string>& storedFormats() const { return storedFormats_; }
    // What the stored graphics, fonts and formats take of the printer's memory, about: a bit
    // a dot, a byte a character.
    std::size_t storedBytes() const;

private:
    struct FieldState {
        std::optional<int> x;  // missing after ^FT without it: the position after the last typeset text
        std::optional<int> y;
        std::string origin = "FO";
        std::optional<Field> pending;  // a barcode or graphic command waiting for ^FS
        std::optional<std::string> data;
        std::string font;
        std::string block;
        std::optional<char> hexEscape;
        std::optional<int> number;
        bool placed = false;  // ^FO or ^FT given
    };
    // A text field waiting for the end of its format, where ^FN data and the position of the
    // text before it are known.
    struct TextToTypeset {
        std::size_t field;  // in the label's fields
        std::shared_ptr<const BitmapFont> font;
        int magnifyX = 1;
        int magnifyY = 1;
        std::optional<int> x;  // the field origin, label home included
        std::optional<int> y;
        bool baseline = false;  // ^FT: y is the baseline; ^FO: the top of the cell
        int encoding = 0;       // ^CI in force
    };
    struct StoringFormat {
        std::string name;
        std::string text;
        bool started = false;  // the ^FS that closes ^DF itself has gone
    };

    bool takeCommand(bool atEnd);
    void run(const std::string& code, const std::string& params);
    void runStored(const std::string& text);
    void runControl(const std::string& code, const std::string& params);
    void runFormat(const std::string& code, const std::string& params);
    void runFieldCommand(const std::string& code, const std::string& params);
    void startFormat();
    void endFormat();
    void endField();
    void storeGraphic(const std::string& params);
    void storeFont(const std::string& params);
    void deleteObjects(const std::string& params);
    void recallFormat(const std::string& params);
    void textField(Field& field);
    void mergeNumberedFields();
    void typesetTexts();
    void graphicField(const std::string& params);
    void recallGraphic(const std::string& params);
    void error(std::string text);
    Label& label();

    DecoderEvents events_;
    std::string buffer_;
    std::size_t scanned_ = 0;  // where the search for the current command's end goes on
    std::optional<Label> label_;
    FieldState field_;
    BarDefaults bar_;
    std::string defaultFont_ = "0N,9,5";
    std::string lastFontName_;  // ^A@ without a name uses the last one named
    int formats_ = 0;
    int recallDepth_ = 0;
    std::optional<StoringFormat> storing_;
    std::vector<TextToTypeset> texts_;
    std::map<int, std::string> numbered_;  // ^FN...^FD of this format: the data for every field of that number
    // Settings that stay from format to format, as a printer keeps them.
    char printMode_ = 'T';
    int printWidthDots_ = 0;
    int labelLengthDots_ = 0;
    int homeX_ = 0;
    int homeY_ = 0;
    int encoding_ = 0;
    std::map<std::string, Bitmap> stored_;
    std::map<std::string, std::shared_ptr<const BitmapFont>> fonts_;
    std::map<std::string, std::string> storedFormats_;  // ^DF: the commands as text
};

// "R:LOGO.GRF" from "LOGO", "R:LOGO", "LOGO.GRF" or "r:logo.grf": device R: and the extension
// given (".GRF", ".FNT", ".ZPL") unless the name has one, upper case.
std::string objectName(std::string_view name, std::string_view defaultExtension);
std::string storedGraphicName(std::string_view name);

}  // namespace zplsim

namespace zplsim {

// The field data of a ^BQ field: "<error correction><input mode>,<data>". Manual input
// starts the data with its character mode: N, A, K (Shift JIS double-byte characters) or
// B with a four-digit byte count.
struct QrContent {
    char errorCorrection = 'M';
    char inputMode = 'A';      // A automatic, M manual
    char characterMode = 0;    // manual input: N, A, B or K
    std::string text;          // UTF-8 (Kanji mode converted from Shift JIS)
    std::string error;
};
QrContent readQrData(std::string_view fieldData);

}  // namespace zplsim
