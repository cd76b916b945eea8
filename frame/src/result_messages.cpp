// SPDX-License-Identifier: MIT
#include "frame/result_messages.h"

#include <array>
#include <utility>

#include "frame/text.h"
#include "frame/texts.h"

namespace frame {
namespace {

constexpr std::array<std::pair<std::uint16_t, std::string_view>, 18> kFailures{{
    {1000, "ポートのオープンに失敗しました。"},
    {1001, "ポートがオープンされていません。"},
    {1002, "ポートが既にオープンされています。"},
    {1003, "ポートへの書き込みに失敗しました。"},
    {1101, "通信エラーが発生しました。"},
    {1200, "プリンタリストファイルの読み込みに失敗しました。"},
    {1201, "プリンタ情報ファイルの読み込みに失敗しました。"},
    {1300, "ラベルフォーマットファイルの読み込みに失敗しました。"},
    {1301, "UsePrinterプロパティで指定されたプリンタのラベルフォーマットファイルではありません。"},
    {1302, "印刷レイアウトに誤りがあります。"},
    {1303, "指定されたフィールドが存在しません。"},
    {1304, "ラベルフォーマット情報が取得されていません。"},
    {2000, "サポートされていません。"},
    {2100, "第一引数に不正な値が指定されています。"},
    {2101, "第二引数に不正な値が指定されています。"},
    {3004, "PortSettingプロパティの値が不正です。"},
    {3011, "SystemPathプロパティの値が不正です。"},
    {3012, "UsePrinterプロパティの値が不正です。"},
}};

}  // namespace

std::optional<std::string_view> knownFailureMessage(ResultCode code) {
    for (const auto& [number, message] : kFailures) {
        if (code == resultCodeFor(number)) return message;
    }
    return std::nullopt;
}

std::string printerFaultText(std::string_view status) {
    return std::string(texts::kPrinterFaultPrefix).append(status).append(texts::kPrinterFaultSuffix);
}

std::string undefinedErrorText(ResultCode code) {
    return std::string(texts::kUndefinedErrorPrefix).append(hexOf(code)).append(")");
}

std::string stopMessageFor(ResultCode code) {
    if (const auto message = knownFailureMessage(code)) return std::string(*message);
    return undefinedErrorText(code);
}

}  // namespace frame
