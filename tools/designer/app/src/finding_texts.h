// SPDX-License-Identifier: MIT
// The checks' findings in the words of the window: where, and what, in Japanese.
#pragma once

#include <QString>

#include "designer/findings.h"

namespace designer::gui {

// "項目 6", "線・枠・画像 2" (counted from 1), or "書式".
QString placeText(const Finding& finding);
// "エラー 1302: バーコードにできません (...)", "文字を 72% に縮めています"...
QString findingText(const Finding& finding);

}  // namespace designer::gui
