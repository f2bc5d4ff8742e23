#pragma once

#include <QString>

namespace edi {

// The values of one format-master row.
struct FormatMasterRow {
    QString formIdentifier;     // 様式識別
    QString syntaxVersion;      // シンタックスIDバージョン
    QString storageMode;        // 格納モード
    QString singleByteCharset;  // 1バイト文字集合
    QString doubleByteCharset;  // 2バイト文字集合
    QString localFormat;        // ローカル形式
    QString xmlEncoding;        // XML文字コード: "M" Shift_JIS, "U" UTF-16, "S" ISO-2022-JP
};

// The format of the message group converted last, shared by the converters and read by the
// job after a conversion (for its history row). Nothing clears it between conversions.
struct FormatState {
    QString bpid;         // of the CII/XML converter's current group, trimmed
    QString infoClass;    // 情報区分コード of that group, trimmed
    FormatMasterRow format;  // the last row read by either converter
    QChar characterMode = u'M';  // "M", "U" or "S": the character side of value conversions
};

}  // namespace edi
