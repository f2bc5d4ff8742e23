#pragma once

#include <QString>
#include <QVariant>
#include <optional>

namespace edi {

class Database;

// A centre's row of the EDI control master, as the jobs read it.
struct ControlRow {
    QString centreCode;
    QString centreName;
    QString transferMethod;   // 送受信方式: "Z", "M" or "W"
    QString partnerKind;      // 相手先種別
    QVariant partnerNumber;   // CVX受信相手先番号 (may be null)
    QVariant fileNumber;      // CVX受信ファイル番号 (may be null)
    QString receiveFilePath;  // CVX受信ファイルパス, trimmed; null reads as empty
    QVariant dataFormat;      // 送受信データ形式 (may be null)
    QVariant partnerAddress;  // 相手先メールアドレス (may be null)
};

// LoadControlRow: the centre's row with the result code: "0000"; "6101" for a "Z" centre without
// a receive file path; "7002" when there is no row or the look-up fails.
struct ControlRowLookup {
    QString code;
    std::optional<ControlRow> row;
};
ControlRowLookup loadControlRow(Database& database, const QString& centreCode);

// Whether the control master has a row for the centre. Throws DatabaseError.
bool hasControlRow(Database& database, const QString& centreCode);

}  // namespace edi
