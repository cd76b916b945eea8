// SPDX-License-Identifier: MIT
// Every text the frame shows, exactly as the operator sees it.
#pragma once

#include <string_view>

namespace frame::texts {

inline constexpr std::string_view kMessageTitle = "メッセージ";
inline constexpr std::string_view kWindowCaption = "MOKUREN";
inline constexpr std::string_view kStatusDesignText =
    "漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字漢字";
inline constexpr std::string_view kStopButton = "中止";

inline constexpr std::string_view kPreparing = "発行準備中．．．";
inline constexpr std::string_view kIssuingSuffix = "レコード目を発行中．．．";
inline constexpr std::string_view kJobEnds = "発行を中止します。";
inline constexpr std::string_view kStopQuestion = "発行を中止します。よろしいですか？";
inline constexpr std::string_view kCompleted = "印刷が完了しました。";

inline constexpr std::string_view kDataFileOpenFailed =
    "データファイルのオープンに失敗しました。発行を中止します。";
inline constexpr std::string_view kReadFailedPrefix = "ERR:";
inline constexpr std::string_view kReadFailedSuffix =
    " データファイルの読み込みに失敗しました。発行を中止します。";

inline constexpr std::string_view kPrinterFaultPrefix = "プリンタに異常が発生しました。 (";
inline constexpr std::string_view kPrinterFaultSuffix = ")\r\nプリンタのエラーを解除してください。";
inline constexpr std::string_view kUndefinedErrorPrefix = "未定義エラーが発生しました。 (Result = ";

// Anything else that ended the job inside the issue loop (out of memory on a huge field,
// say): the operator is always told, and the port is closed as after any failure.
inline constexpr std::string_view kUnexpectedFailure =
    "発行処理中に予期しないエラーが発生しました。発行を中止します。";

// A rejected command line: shown before the window, no job starts.
inline constexpr std::string_view kCommandLineRejected =
    "コマンドラインの指定に誤りがあります。発行を中止します。";

}  // namespace frame::texts
