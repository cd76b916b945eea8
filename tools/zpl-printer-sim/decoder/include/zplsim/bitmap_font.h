// SPDX-License-Identifier: MIT
// Bitmap fonts downloaded with ~DB, and text typeset in them as a ZPL II printer does:
// character after character from the pen position on the baseline, each bitmap placed in
// its character cell and the pen moved on by the character's typesetting motion. Written
// from the printer's documentation, apart from the control's encoder.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zplsim/graphic_data.h"

namespace zplsim {

struct FontCharacter {
    // The documentation gives the offsets without saying from where they count; they are
    // taken, like the font's baseline, from the top-left corner of the character cell.
    int xOffsetDots = 0;           // from the pen (the cell's left edge) to the bitmap's left column
    int yOffsetDots = 0;           // from the cell's top to the bitmap's top row
    int advanceDots = 0;           // the typesetting motion: to the next character's pen position
    int widthDots = 0;             // the bitmap's dots across; its rows are whole bytes
    std::optional<Bitmap> bitmap;  // nothing for a blank (height or width 0)
};

struct BitmapFont {
    int cellHeightDots = 0;
    int cellWidthDots = 0;
    int baselineDots = 0;  // from the top of the cell
    int spaceDots = 0;     // the motion of a space, and of a character the font does not have
    std::map<std::uint32_t, FontCharacter> characters;  // by character code
};

struct DownloadedFont {
    std::string name;                // "R:NAME.FNT"
    std::optional<BitmapFont> font;  // nothing when the download was refused
    std::string error;
};

// ~DB's parameters as sent after "~DB": d:o.x,a,h,w,base,space,#char,©,data, where data is
// "#code.h.w.x.y.i.bitmap" for each character (the bitmap in ASCII hex with the repeat
// counts, or B64/Z64 with its CRC, as graphics are).
DownloadedFont readBitmapFont(std::string_view params);

// The character codes of field data: Unicode code points under ^CI28 (UTF-8), else bytes.
std::vector<std::uint32_t> characterCodes(std::string_view data, int encoding);

struct TypesetText {
    std::optional<Bitmap> dots;  // nothing when no character has ink
    int leftDots = 0;            // where dots' top-left corner lies on the label
    int topDots = 0;
    int endXDots = 0;            // the pen after the last character (where ^FT without x goes on)
};

// The characters from the pen position on the baseline, every dot magnified (the font's
// cell, offsets and motions with it).
TypesetText typeset(const BitmapFont& font, const std::vector<std::uint32_t>& codes, int penXDots, int baselineYDots,
                    int magnifyX, int magnifyY);

}  // namespace zplsim
