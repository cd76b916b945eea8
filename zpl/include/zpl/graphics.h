// SPDX-License-Identifier: MIT
// Graphics in ZPL II: a raster sent within a format (^GF), or stored in the printer's
// memory once (~DG) and recalled on every label (^XG). Every length is in dots.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <unordered_set>

#include "render/raster.h"
#include "zpl/commands.h"

namespace zpl {

enum class GraphicCompression {
    Hex,  // ASCII hex with repeat counts, "," and ":" (every ZPL II printer)
    Z64,  // zlib + base64 with its CRC, or hex where that is shorter (newer firmware)
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

}  // namespace zpl
