// SPDX-License-Identifier: MIT
// The ZPL II building blocks a label is made of: graphics (compressed, or stored in the
// printer and recalled), native barcodes, text in the resident font, and the
// commands that open and close a format with its copies and cut. Every length is in dots
// of the printer.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "render/layout.h"
#include "render/raster.h"

namespace bcpctrl::zpl {

enum class GraphicCompression {
    Hex,  // ASCII hex with repeat counts, "," and ":" (every ZPL II printer)
    Z64,  // zlib + base64 with its CRC, or hex where that is shorter (newer firmware)
};

struct FieldOrigin {
    int xDots = 0;
    int yDots = 0;
    bool baseline = false;  // ^FT (text baseline, bottom of a barcode) instead of ^FO (top left)
};

// The data that follows the byte counts of ^GF and ~DG.
std::string graphicData(const render::Raster& raster, GraphicCompression compression);
// ^FO...^GFA...^FS
std::string graphicField(const render::Raster& raster, FieldOrigin origin, GraphicCompression compression);

// Graphics a job prints again and again go to the printer's memory, with ~DG, and labels
// recall them with ^XG. Graphics are known by their dots, wherever they stand. One store
// lives for one job; its names are its own (`namePrefix`, two letters or digits), so that
// the deletion at the end of a job never touches what the next job has stored.
class GraphicStore {
public:
    // What the store keeps in the printer's memory at most, as the printer holds it (one bit
    // a dot): a few printers of the last twenty years have less free.
    static constexpr std::size_t kMostStoredBytes = 512 * 1024;
    // How many graphics seen once it remembers (by a hash of their dots), so that a long
    // job's memory stays bounded.
    static constexpr std::size_t kMostRemembered = 4096;

    GraphicStore(GraphicCompression compression, std::string namePrefix);

    // Stored the first time (its download appended to `downloads`, which must reach the
    // printer before the format), recalled from then on: for what every label shows.
    std::string place(const render::Raster& raster, FieldOrigin origin, std::string& downloads);
    // For field texts, many of which repeat (a supplier, a warehouse) while some never do
    // (a product name): stored the first time while the store holds less than half of what
    // it may; after that, sent within the format the first time and stored when it shows
    // up again, so that what is left goes to texts that repeat.
    std::string placeFieldText(const render::Raster& raster, FieldOrigin origin, std::string& downloads);
    // A format that deletes every graphic this store downloaded (empty when none).
    std::string deleteAll() const;
    std::size_t size() const { return names_.size(); }
    std::size_t storedBytes() const { return storedBytes_; }

private:
    std::string store(const std::string& key, const render::Raster& raster, std::string& downloads);

    GraphicCompression compression_;
    std::string namePrefix_;
    std::map<std::string, std::string> names_;  // by the graphic's size and dots
    std::size_t storedBytes_ = 0;
    std::unordered_set<std::size_t> seen_;  // hashes of graphics sent once, the newest kMostRemembered
    std::deque<std::size_t> seenOrder_;
};

// Where a barcode goes and how big its modules are.
struct BarcodePlacement {
    FieldOrigin origin;       // ^FO: the top-left corner of the bars as printed
    int rotationDeg = 0;      // 0, 90, 180 or 270, clockwise
    int moduleWidthDots = 1;  // ^BY: the narrowest bar (QR: the module)
    int heightDots = 1;       // the bars (not QR)
};
// ^BY and the symbology's own command, without the printer's interpretation line, with
// field data that makes the printer draw exactly the symbol's modules: EAN without the
// check digit the printer adds, ITF-14 whole without one added, Codabar with its start and
// stop letters as parameters, Code 128 and GS1-128 with the start code, code set changes
// and FNC1 the symbol has, as invocation codes. Nothing where the printer would draw
// something else: a Code 128 symbol with SHIFT, two-width symbols whose wide element is not
// 2 or 3 modules, modules over 10 dots, a QR code turned, or one whose text is neither ASCII
// (automatic input) nor all Shift JIS double-byte characters (Kanji mode).
std::optional<std::string> barcodeField(const render::EncodedSymbol& symbol, const BarcodePlacement& placement);

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

// Whether every character of a UTF-8 text has a Shift JIS (CP932) code: the characters the
// Japanese fonts label printers hold cover.
bool shiftJisCovers(std::string_view utf8);

// ^FD with the text; with ^FH before it, and the characters that would end or change the
// field (^ ~ _ and control characters) written as _XX, when it has any.
std::string fieldData(std::string_view text);

// ^XA with UTF-8 field data (^CI28), the print width and label length, and the home at 0,0.
std::string formatStart(int widthDots, int lengthDots);
// The copies of this Issue, cut once after the last of them on a printer with a cutter
// (^MMC); otherwise presented for tear-off (^MMT). Ends the format.
std::string formatEnd(int copies, bool cut, bool printerHasCutter);

// ^FO or ^FT, and the field orientation letter for a rotation.
std::string origin(FieldOrigin origin);
char orientation(int rotationDeg);

}  // namespace bcpctrl::zpl
