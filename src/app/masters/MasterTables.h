#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

// The masters an administrator loads from spreadsheets, as db/schema.sql creates them.
enum class ColumnType { Text, Integer, Time };

struct MasterColumn {
    QString name;
    ColumnType type = ColumnType::Text;
    int maxLength = 0;      // VARCHAR(n), in characters; text columns only
    bool required = false;  // NOT NULL
    bool key = false;       // part of the primary key
    QStringList codes;      // the only values the system knows, when not empty
};

struct MasterTable {
    QString name;
    std::vector<MasterColumn> columns;

    // The CSV file of the table: its name with ".csv".
    QString fileName() const { return name + QStringLiteral(".csv"); }
    // The column of that name, ASCII letters in any case; -1 for none.
    int columnIndex(const QString& column) const;
    std::vector<int> keyColumns() const;
};

inline const QString kCodeMaster = QStringLiteral("区分マスタ");
inline const QString kControlMaster = QStringLiteral("FL1903EDI制御マスタ");
inline const QString kScheduleMaster = QStringLiteral("FL1912EDIスケジュールマスタ");
inline const QString kPartnerMaster = QStringLiteral("FL1915センタ利用企業マスタ");
inline const QString kFormatMaster = QStringLiteral("FL1902フォーマット情報マスタ");
inline const QString kLayoutMaster = QStringLiteral("FL1903レコードフォーマット情報マスタ");

// The six masters, each in the order its rows are loaded and written.
const std::vector<MasterTable>& masterTables();
const MasterTable& masterTable(const QString& name);

// A column's name in a statement: quoted when it begins with a digit ("1バイト文字集合"), as
// the schema has it; other names stay unquoted like everywhere else in the system.
QString sqlColumnName(const QString& column);

}  // namespace edi
