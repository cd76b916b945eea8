// SPDX-License-Identifier: MIT
#include "printers/registry.h"

#include <array>
#include <utility>

#include "bcpctrl/bcp_ctrl.h"
#include "printers/cups/cups_entry.h"
#include "printers/files/file_kinds.h"
#include "printers/zpl/zpl_entry.h"

namespace bcpctrl::printers {
namespace {

// By the "type" of their entries. Only CUPS finds printers that no list names: the queues
// of the default server.
constexpr std::array<PrinterKind, 5> kInstalledKinds{{
    {"virtual", files::readVirtualEntry},
    {"image", files::readImageEntry},
    {"pdf", files::readPdfEntry},
    {"cups", cups::readCupsEntry, cups::findUnlistedQueue},
    {"zpl", zpl::readZplEntry},
}};

}  // namespace

PrinterKinds installedKinds() { return kInstalledKinds; }

}  // namespace bcpctrl::printers

namespace bcpctrl {

BcpCtrl::BcpCtrl(BcpCtrlOptions options) : BcpCtrl(std::move(options), printers::installedKinds()) {}

}  // namespace bcpctrl
