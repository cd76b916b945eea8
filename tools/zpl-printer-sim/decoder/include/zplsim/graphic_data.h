// SPDX-License-Identifier: MIT
// The data of a ZPL graphic (^GF with type A, ~DG) turned back into dots. It is written
// apart from the control's encoder, so that a fault in one is not mirrored by the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zplsim {

// One bit per dot, rows from the top, the leftmost dot in the highest bit, 1 = black.
struct Bitmap {
    int widthDots = 0;
    int heightDots = 0;
    std::size_t strideBytes = 0;
    std::vector<std::uint8_t> bits;

    bool isBlack(int xDots, int yDots) const {
        const auto byte = bits[static_cast<std::size_t>(yDots) * strideBytes + static_cast<std::size_t>(xDots) / 8];
        return (byte & (0x80u >> (xDots % 8))) != 0;
    }
    bool operator==(const Bitmap&) const = default;
};

struct DecodedGraphic {
    std::optional<Bitmap> bitmap;  // nothing when the data was rejected
    std::string encoding;          // "hex", "Z64" or "B64"
    std::string error;             // why it was rejected, or what was wrong but repaired
};

// `data` is what follows the byte counts: ASCII hex with the repeat counts G..Y and g..z,
// "," (rest of the row white), "!" (rest of the row black) and ":" (the row above again),
// or ":Z64:" / ":B64:" base64 (zlib-deflated for Z64) followed by ":" and the CRC.
// The bitmap is bytesPerRow * 8 dots wide and totalBytes / bytesPerRow rows high.
DecodedGraphic decodeGraphicData(std::string_view data, std::size_t totalBytes, std::size_t bytesPerRow);

// CRC-16 with the CCITT polynomial (0x1021), starting at 0, as Z64 and B64 data carry it
// over their base64 text.
std::uint16_t crc16(std::string_view text);

// Portable bitmap (P4), the file format the emulator writes graphics in.
std::string portableBitmap(const Bitmap& bitmap);

// The bitmap scaled up by whole factors, as ^XG prints a stored graphic.
Bitmap magnified(const Bitmap& bitmap, int factorX, int factorY);

}  // namespace zplsim
