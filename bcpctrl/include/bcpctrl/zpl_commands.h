// SPDX-License-Identifier: MIT
// The ZPL II building blocks a label is made of: graphics (compressed, or stored in the
// printer once and recalled), native barcodes, text in the resident font, and the
// commands that open and close a format with its copies and cut. Every length is in dots
// of the printer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "bcpctrl/label_format.h"
#include "render/raster.h"

namespace bcpctrl::zpl {

enum class GraphicCompression {
    Hex,  // ASCII hex with repeat counts, "," and ":" (every ZPL II printer)
    Z64,  // zlib + base64 with its CRC (smaller; newer firmware)
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

// Graphics a job prints again and again (captions) go to the printer's memory once, with
// ~DG, and every label recalls them with ^XG. One store lives for one job.
class GraphicStore {
public:
    explicit GraphicStore(GraphicCompression compression) : compression_(compression) {}

    // The recall for the label's format; the first time a graphic is seen its download is
    // appended to `downloads`, which must reach the printer before the format.
    std::string place(const render::Raster& raster, FieldOrigin origin, std::string& downloads);
    // A format that deletes every graphic this store downloaded (empty when none).
    std::string deleteAll() const;
    std::size_t size() const { return names_.size(); }

private:
    GraphicCompression compression_;
    std::map<std::string, std::string> names_;  // by the graphic's size and dots
};

struct BarcodeField {
    Symbology symbology = Symbology::Code128;
    FieldOrigin origin;
    int rotationDeg = 0;        // 0, 90, 180 or 270, clockwise
    int moduleWidthDots = 2;    // ^BY: the narrowest bar (QR: the module size)
    double wideToNarrow = 3.0;  // CODE39, NW7 and ITF
    int heightDots = 100;       // the bars (not QR)
    bool humanReadable = true;
    std::string data;  // UTF-8
};
// ^BY and the symbology's own command with its field data. EAN-13 and EAN-8 are sent
// without their check digit (the printer adds it); NW7 takes its start and stop letters
// from the data when they are there; QR uses Kanji mode for text that is all Shift JIS
// double-byte characters, automatic input for ASCII, and UTF-8 byte mode otherwise.
std::string barcodeField(const BarcodeField& field);

struct TextField {
    FieldOrigin origin;
    int rotationDeg = 0;
    int heightDots = 30;
    int widthDots = 0;  // 0: in proportion to the height
    std::string text;   // ASCII, which the resident font has
};
// ^A0 with the text; see fieldData.
std::string textField(const TextField& field);

// ^FH^FD with the characters that would end or change the field (^ ~ _ and control
// characters) written as _XX.
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
