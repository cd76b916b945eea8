// SPDX-License-Identifier: MIT
#include "finding_texts.h"

#include <cmath>

namespace designer::gui {
namespace {

QString ruleText(labelformat::LayoutRule rule) {
    switch (rule) {
        case labelformat::LayoutRule::LabelWithoutArea: return QStringLiteral("ラベルの幅か高さが 0 以下です");
        case labelformat::LayoutRule::LabelTooLarge:
            return QStringLiteral("ラベルが大きすぎます (短辺 254 mm、長辺 650 mm まで)");
        case labelformat::LayoutRule::FieldNumberOutOfRange: return QStringLiteral("項目番号が 1〜32767 の外です");
        case labelformat::LayoutRule::FieldNumberUsedTwice: return QStringLiteral("項目番号がほかの項目と重なっています");
        case labelformat::LayoutRule::FieldBoxOutsideLabel:
            return QStringLiteral("項目の枠がラベルからはみ出しているか、大きさがありません");
        case labelformat::LayoutRule::StaticOutsideLabel: return QStringLiteral("線・枠・画像がラベルからはみ出しています");
    }
    return {};
}

QString withDetail(const QString& text, const std::string& detail) {
    return detail.empty() ? text : QStringLiteral("%1 (%2)").arg(text, QString::fromStdString(detail));
}

}  // namespace

QString placeText(const Finding& finding) {
    if (finding.fieldIndex) {
        return finding.fieldNumber != 0 ? QStringLiteral("項目 %1").arg(finding.fieldNumber)
                                        : QStringLiteral("%1 番目の項目").arg(*finding.fieldIndex + 1);
    }
    if (finding.staticIndex) return QStringLiteral("線・枠・画像 %1").arg(*finding.staticIndex + 1);
    return QStringLiteral("書式");
}

QString findingText(const Finding& finding) {
    switch (finding.kind) {
        case FindingKind::FormatUnreadable:
            return withDetail(QStringLiteral("エラー 1300: 読み込めません"), finding.detail);
        case FindingKind::ForAnotherPrinter:
            return withDetail(QStringLiteral("エラー 1301: プログラムとは別のプリンター機種 (usePrinter) の書式です"),
                              finding.detail);
        case FindingKind::LayoutError:
            return QStringLiteral("エラー 1302: ") +
                   (finding.rule ? ruleText(*finding.rule) : QString::fromStdString(finding.detail));
        case FindingKind::BarcodeRefused:
            return withDetail(QStringLiteral("エラー 1302: このバーコードは印刷されません"), finding.detail);
        case FindingKind::NotReadBack:
            return finding.detail.empty()
                       ? QStringLiteral("印字したバーコードをスキャナーで読み取れません")
                       : QStringLiteral("印字したバーコードが別の値で読めます: %1").arg(QString::fromStdString(finding.detail));
        case FindingKind::RecordRefused:
            return withDetail(QStringLiteral("このレコードはプログラムが読めません"), finding.detail);
        case FindingKind::Condensed:
            return QStringLiteral("文字を %1% に縮めています").arg(std::lround(finding.condense * 100));
        case FindingKind::Cut: return QStringLiteral("文字が枠に入りきらず、終わりが切れて「…」になります");
        case FindingKind::MissingGlyphs:
            return QStringLiteral("フォントにない文字が %1 字あります (印字されません)").arg(finding.missingGlyphs);
    }
    return {};
}

}  // namespace designer::gui
