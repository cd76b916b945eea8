// SPDX-License-Identifier: MIT
// What a ZPL printer is sent for each Issue. The printer knows only this interface, so
// the way labels are encoded can change (one graphic of the whole label today; the
// renderer's layout as native barcodes, resident-font text and stored captions later)
// without touching the port or the printer.
#pragma once

#include <memory>
#include <string>

#include "bcpctrl/label_pictures.h"
#include "bcpctrl/printer.h"
#include "bcpctrl/zpl_commands.h"

namespace bcpctrl::zpl {

struct EncoderSettings {
    int dotsPerInch = 203;
    GraphicCompression compression = GraphicCompression::Z64;
    bool printerHasCutter = false;
};

// One encoder lives for one job, from OpenPort to ClosePort, so that it can store
// graphics in the printer once and recall them on every label.
class LabelEncoder {
public:
    virtual ~LabelEncoder() = default;

    // Everything one Issue sends: downloads first, then one format with the Issue's
    // copies and cut. Exactly one format per Issue: the printer counts labels by formats.
    virtual std::string encodeIssue(const LabelToPrint& label) = 0;
    // What the end of the job sends: the deletion of graphics it stored (may be empty).
    virtual std::string endOfJob() = 0;
};

// The label drawn by `pictures` at the printer's resolution, sent as one graphic.
std::unique_ptr<LabelEncoder> makeWholeLabelEncoder(std::shared_ptr<const LabelPictures> pictures,
                                                    EncoderSettings settings);

}  // namespace bcpctrl::zpl
