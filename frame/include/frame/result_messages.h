// SPDX-License-Identifier: MIT
// What each result code of the control means to the operator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/bcp_control.h"

namespace frame {

// The message of a known failure code; nullopt for the printer status report and for
// every code the control does not document.
std::optional<std::string_view> knownFailureMessage(ResultCode code);

// "プリンタに異常が発生しました。 (status)" with the request to clear the printer error.
std::string printerFaultText(std::string_view status);

// "未定義エラーが発生しました。 (Result = HEX)".
std::string undefinedErrorText(ResultCode code);

// The text before "発行を中止します。" for a code that stops the job.
std::string stopMessageFor(ResultCode code);

}  // namespace frame
