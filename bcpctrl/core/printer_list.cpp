// SPDX-License-Identifier: MIT
#include "core/printer_list.h"

#include <algorithm>
#include <utility>

#include "core/output_folder.h"
#include "core/system_folder.h"

namespace bcpctrl {
namespace {

using namespace labelformat::json_reading;

// The "type" of an entry names its kind.
std::unique_ptr<const PrinterEntry> readEntry(const Json& entry, PrinterKinds kinds) {
    const std::string type = readString(member(entry, "type"));
    const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const PrinterKind& known) { return known.type == type; });
    if (kind == kinds.end()) {
        throw JsonShapeError{};
    }
    return kind->readEntry(entry);
}

using Entries = std::map<std::string, std::unique_ptr<const PrinterEntry>>;

Entries readEntries(const Json& list, std::string_view key, bool isSerial, PrinterKinds kinds) {
    Entries entries;
    const Json* listed = optionalMember(list, key);
    if (listed == nullptr) {
        return entries;
    }
    for (const auto& [name, entry] : requireObject(*listed).items()) {
        auto listedName = isSerial ? serialPortName(name) : std::optional<std::string>(name);
        if (!listedName) {
            throw JsonShapeError{};
        }
        entries.insert_or_assign(std::move(*listedName), readEntry(entry, kinds));
    }
    return entries;
}

const PrinterEntry* findByName(const Entries& entries, const std::string& name) {
    const auto found = entries.find(name);
    return found == entries.end() ? nullptr : found->second.get();
}

}  // namespace

std::filesystem::path readListedFile(const Json& value) {
    std::string file = readString(value);
    const bool namesAFile = !file.empty() && file.back() != '\\' && file.back() != '/';
    if (!hostpaths::isWellFormed(file) || !namesAFile) {
        throw JsonShapeError{};
    }
    return file;
}

// ZPL entries once named the key "dotsPerInch"; both are read, and must agree when both
// are given.
int readDotsPerInch(const Json& entry) {
    const Json* dpi = optionalMember(entry, "dpi");
    const Json* dotsPerInch = optionalMember(entry, "dotsPerInch");
    if (dpi == nullptr && dotsPerInch == nullptr) {
        return render::kDefaultDotsPerInch;
    }
    const auto read = [](const Json& value) {
        return readBoundedInt(value, render::kLowestDotsPerInch, render::kHighestDotsPerInch);
    };
    const int resolution = read(dpi != nullptr ? *dpi : *dotsPerInch);
    if (dpi != nullptr && dotsPerInch != nullptr && read(*dotsPerInch) != resolution) {
        throw JsonShapeError{};
    }
    return resolution;
}

std::optional<std::filesystem::path> PortContext::outputPath(const std::filesystem::path& listed) const {
    auto file = hostpaths::mapCallerPath(listed.string(), driveTableOf(environment));
    if (!file || file->is_absolute()) {
        return file;
    }
    return outputFolder(environment) / *file;
}

const PrinterEntry* PrinterList::find(const PortAddress& address) const {
    if (const auto* driver = std::get_if<DriverPort>(&address)) {
        return findByName(printers, driver->printerName);
    }
    return findByName(serialPorts, std::get<SerialPort>(address).portName);
}

bool PrinterList::anyDrawsLabels() const {
    const auto draws = [](const auto& named) { return named.second->drawingDotsPerInch() != 0; };
    return std::any_of(printers.begin(), printers.end(), draws) ||
           std::any_of(serialPorts.begin(), serialPorts.end(), draws);
}

Outcome<PrinterList> parsePrinterList(std::string_view jsonText, PrinterKinds kinds) {
    const Json document = parseWithoutThrowing(jsonText);
    if (document.is_discarded()) {
        return ErrorNumber::PrinterListUnreadable;
    }
    try {
        PrinterList list;
        list.printers = readEntries(document, "printers", false, kinds);
        list.serialPorts = readEntries(document, "serialPorts", true, kinds);
        return list;
    } catch (const JsonShapeError&) {
        return ErrorNumber::PrinterListUnreadable;
    }
}

Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory, PrinterKinds kinds) {
    const auto text = readDocumentFile(systemDirectory / kPrinterListFile);
    if (!text) {
        return ErrorNumber::PrinterListUnreadable;
    }
    return parsePrinterList(*text, kinds);
}

std::unique_ptr<const PrinterEntry> findUnlistedPrinter(const std::string& printerName, PrinterKinds kinds,
                                                        const EnvironmentLookup& environment) {
    for (const PrinterKind& kind : kinds) {
        if (kind.findUnlisted == nullptr) continue;
        if (auto entry = kind.findUnlisted(printerName, environment)) return entry;
    }
    return nullptr;
}

}  // namespace bcpctrl
