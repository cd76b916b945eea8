// SPDX-License-Identifier: MIT
#include "printers/cups/cups_entry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "core/label_pictures.h"
#include "printers/cups/cups_printer.h"
#include "printers/cups/ipp.h"
#include "printers/cups/queue.h"
#include "printers/cups/spill.h"

namespace bcpctrl::printers::cups {
namespace {

using namespace labelformat::json_reading;

constexpr std::int64_t kMostHeldInMemoryBytes = std::int64_t{1} << 30;  // a printers.json limit

struct CupsEntry final : PrinterEntry {
    std::string queue;
    std::optional<Server> server;  // cupsd's default when absent
    std::size_t heldInMemoryBytes = kHeldInMemoryBytes;

    PortOpening open(const PortContext& port) const override;
    // The queue tells its resolution when the port opens; most label printers have this one.
    int drawingDotsPerInch() const override { return render::kDefaultDotsPerInch; }
};


}  // namespace

PortOpening CupsEntry::open(const PortContext& port) const {
    if (!isQueueName(queue)) return {resultCodeOf(ErrorNumber::UnknownPrinterName), nullptr};
    const Server target = server ? *server : defaultServer(port.environment);
    Connection connection(target);
    if (connection.http() == nullptr) return {resultCodeOf(ErrorNumber::CommunicationError), nullptr};
    auto profile = inspectQueue(connection, queue);
    if (!profile.ok()) return {resultCodeOf(*profile.error()), nullptr};
    auto pictures = port.pictures ? port.pictures : drawnLabelPictures();
    return {kSuccess, std::make_unique<CupsPrinter>(std::move(profile.value()), target, std::move(connection),
                                                    std::move(pictures), heldInMemoryBytes)};
}

std::unique_ptr<const PrinterEntry> readCupsEntry(const Json& entry) {
    auto cupsEntry = std::make_unique<CupsEntry>();
    cupsEntry->queue = readString(member(entry, "queue"));
    if (cupsEntry->queue.empty()) throw JsonShapeError{};
    if (const Json* server = optionalMember(entry, "server")) {
        cupsEntry->server = parseServer(readString(*server));
        if (!cupsEntry->server) throw JsonShapeError{};
    }
    if (const Json* bytes = optionalMember(entry, "heldInMemoryBytes")) {
        const std::int64_t heldBytes = readInteger(*bytes);
        if (heldBytes < 0 || heldBytes > kMostHeldInMemoryBytes) throw JsonShapeError{};
        cupsEntry->heldInMemoryBytes = static_cast<std::size_t>(heldBytes);
    }
    return cupsEntry;
}

std::unique_ptr<const PrinterEntry> findUnlistedQueue(const std::string& printerName,
                                                        const EnvironmentLookup& environment) {
    std::string queue = printerName;
    std::replace(queue.begin(), queue.end(), ' ', '_');
    if (!isQueueName(queue)) return nullptr;
    Connection connection(defaultServer(environment));
    if (!observeQueue(connection, queueAddress(queue)).ok()) return nullptr;
    auto entry = std::make_unique<CupsEntry>();
    entry->queue = std::move(queue);
    return entry;
}

}  // namespace bcpctrl::printers::cups
