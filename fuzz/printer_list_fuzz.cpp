// SPDX-License-Identifier: MIT
// Every input is a printer list and, as it stands, a port setting. A list that reads finds
// every printer and serial port it names.
#include "core/port_setting.h"
#include "core/printer_list.h"
#include "printers/registry.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzzing::textOf(data, size);
    const auto list = bcpctrl::parsePrinterList(text, bcpctrl::printers::installedKinds());
    if (list.ok()) {
        for (const auto& [name, entry] : list.value().printers) {
            FUZZ_CHECK(list.value().find(bcpctrl::DriverPort{name}) != nullptr);
        }
        for (const auto& [name, entry] : list.value().serialPorts) {
            FUZZ_CHECK(bcpctrl::serialPortName(name) == name);
            FUZZ_CHECK(list.value().find(bcpctrl::SerialPort{name, 9600, 'E', 8, 1}) != nullptr);
        }
    } else {
        FUZZ_CHECK(list.error() == labelformat::ErrorNumber::PrinterListUnreadable);
    }
    const auto address = bcpctrl::parsePortSetting(text);
    const auto asDriver = bcpctrl::parsePortSettingFor(frame::kPortCodeDriver, text);
    const auto asSerial = bcpctrl::parsePortSettingFor(frame::kPortCodeSerial, text);
    FUZZ_CHECK(address.has_value() == (asDriver.has_value() || asSerial.has_value()));
    FUZZ_CHECK(!(asDriver && asSerial));
    return 0;
}
