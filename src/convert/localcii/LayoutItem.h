#pragma once

#include <QString>

namespace edi {

// One row of the record-format master: an item of a CII message ("E" layout) or of a local
// fixed-length record ("L" layout).
struct LayoutItem {
    qint32 serial = 0;             // 項目通番: position in the layout
    qint32 counterpartSerial = 0;  // 対応項目通番: the matching item of the other layout
    qint32 level = 0;              // レベル番号: 0 in the message, n inside a group of level n-1
    qint32 itemNumber = 0;         // 項目№: the CII tag
    QString position;              // 項目位置: byte position in the local record, from 1
    QString name;                  // 項目名称
    QString attribute;             // 属性: "M" group, "9"/"N" numeric, "X", "K", "Y", "B"
    qint32 length = 0;             // 長さ: bytes; for a group the length of one occurrence
    qint32 decimals = 0;           // 小数部長さ
    QString multiDetailNumber = QStringLiteral("0");  // マルチ明細番号
    qint32 repeatCount = 0;        // 繰返し数: 0 counts as 1
    QString fixedValue;            // 固定項目値
    QString errorTreatment;        // 変換エラー対処

    bool isGroup() const { return attribute == u"M"; }
    // The group's occurrences, 0 counting as 1.
    qint32 occurrences() const { return repeatCount == 0 ? 1 : repeatCount; }
    // Bytes the item takes in a local record: the decimal point adds one.
    qint32 fieldWidth() const { return length + (decimals != 0 ? 1 : 0); }
};

}  // namespace edi
