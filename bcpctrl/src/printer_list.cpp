// SPDX-License-Identifier: MIT
#include "bcpctrl/printer_list.h"

#include <algorithm>
#include <array>
#include <utility>

#include "bcpctrl/host_paths.h"
#include "bcpctrl/output_folder.h"
#include "printer_kinds.h"

namespace bcpctrl {
namespace {

using namespace json_reading;
using namespace printer_kinds;

// The "type" of an entry names its kind.
constexpr std::array<std::pair<std::string_view, EntryReader>, 5> kPrinterKinds{{
    {"virtual", readVirtualEntry},
    {"cups", readCupsEntry},
    {"zpl", readZplEntry},
    {"image", readImageEntry},
    {"pdf", readPdfEntry},
}};

std::unique_ptr<const PrinterEntry> readEntry(const Json& entry) {
    const std::string type = readString(member(entry, "type"));
    const auto kind = std::find_if(kPrinterKinds.begin(), kPrinterKinds.end(),
                                   [&](const auto& known) { return known.first == type; });
    if (kind == kPrinterKinds.end()) {
        throw JsonShapeError{};
    }
    return kind->second(entry);
}

using Entries = std::map<std::string, std::unique_ptr<const PrinterEntry>>;

Entries readEntries(const Json& list, std::string_view key, bool isSerial) {
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
        entries.insert_or_assign(std::move(*listedName), readEntry(entry));
    }
    return entries;
}

const PrinterEntry* findByName(const Entries& entries, const std::string& name) {
    const auto found = entries.find(name);
    return found == entries.end() ? nullptr : found->second.get();
}

}  // namespace

namespace printer_kinds {

std::filesystem::path readListedFile(const Json& value) {
    std::string file = readString(value);
    const bool namesAFile = !file.empty() && file.back() != '\\' && file.back() != '/';
    if (!hostpaths::isWellFormed(file) || !namesAFile) {
        throw JsonShapeError{};
    }
    return file;
}

int readDotsPerInch(const Json& entry) {
    const Json* value = optionalMember(entry, "dpi");
    if (value == nullptr) {
        return render::kDefaultDotsPerInch;
    }
    const std::int64_t dotsPerInch = readInteger(*value);
    if (dotsPerInch < render::kLowestDotsPerInch || dotsPerInch > render::kHighestDotsPerInch) {
        throw JsonShapeError{};
    }
    return static_cast<int>(dotsPerInch);
}

}  // namespace printer_kinds

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

Outcome<PrinterList> parsePrinterList(std::string_view jsonText) {
    const Json document = parseWithoutThrowing(jsonText);
    if (document.is_discarded()) {
        return ErrorNumber::PrinterListUnreadable;
    }
    try {
        PrinterList list;
        list.printers = readEntries(document, "printers", false);
        list.serialPorts = readEntries(document, "serialPorts", true);
        return list;
    } catch (const JsonShapeError&) {
        return ErrorNumber::PrinterListUnreadable;
    }
}

Outcome<PrinterList> readPrinterList(const std::filesystem::path& systemDirectory) {
    const auto text = readDocumentFile(systemDirectory / kPrinterListFile);
    if (!text) {
        return ErrorNumber::PrinterListUnreadable;
    }
    return parsePrinterList(*text);
}

}  // namespace bcpctrl
