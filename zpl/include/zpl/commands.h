// SPDX-License-Identifier: MIT
// The ZPL II commands every label is built of: field origins and orientations, field data,
// text in a font of the printer, and the commands that open and close a format with its
// copies and cut. Every length is in dots of the printer. Graphics and barcodes have
// files of their own (zpl/graphics.h, zpl/barcodes.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zpl {

struct FieldOrigin {
    int xDots = 0;
    int yDots = 0;
    bool baseline = false;  // ^FT (text baseline, bottom of a barcode) instead of ^FO (top left)
};

struct TextField {
    FieldOrigin origin;   // ^FT: the left end of the line's (or block's) baseline
    int rotationDeg = 0;
    int heightDots = 30;
    int widthDots = 0;        // 0: in proportion to the height
    int blockWidthDots = 0;   // above 0: a one-line ^FB block this wide (its other settings the defaults)...
    char justification = 'L';  // ...in which the line is set L, C or R
    std::string text;         // UTF-8: ASCII for the resident font, anything the named font has
    std::string fontName{};   // empty: the resident font ^A0; else a font file in the printer ("E:NAME.TTF")
};
// ^FT, ^A0 (or ^A@ with the font's name) and the text, in a ^FB block when it has one; see
// fieldData.
std::string textField(const TextField& field);

// The text in Shift JIS (CP932), or nothing when a character has no code there.
std::optional<std::string> shiftJis(std::string_view utf8);
// Whether every character of a UTF-8 text has a Shift JIS (CP932) code: the characters the
// Japanese fonts label printers hold cover.
bool shiftJisCovers(std::string_view utf8);
// Every byte as _XX, as field data after ^FH gives it.
std::string escapedBytes(std::string_view bytes);

// ^FD with the text; with ^FH before it, and the characters that would end or change the
// field (^ ~ _ and control characters) written as _XX, when it has any.
std::string fieldData(std::string_view text);

// ^XA with UTF-8 field data (^CI28), the print width and label length, and the home at 0,0.
std::string formatStart(int widthDots, int lengthDots);
// The same settings without ^XA, for a stored format.
std::string formatSettings(int widthDots, int lengthDots);
// The copies of this Issue, cut once after the last of them on a printer with a cutter
// (^MMC); otherwise presented for tear-off (^MMT). Ends the format.
std::string formatEnd(int copies, bool cut, bool printerHasCutter);

// ^FO or ^FT, and the field orientation letter for a rotation.
std::string origin(FieldOrigin origin);
char orientation(int rotationDeg);

}  // namespace zpl
