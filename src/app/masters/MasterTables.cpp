#include "app/masters/MasterTables.h"

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

MasterColumn text(const QString& name, int maxLength)
{
    return {name, ColumnType::Text, maxLength, false, false, {}};
}

MasterColumn keyText(const QString& name, int maxLength)
{
    return {name, ColumnType::Text, maxLength, true, true, {}};
}

MasterColumn code(const QString& name, const QStringList& codes)
{
    return {name, ColumnType::Text, 1, false, false, codes};
}

MasterColumn integer(const QString& name, bool required = false)
{
    return {name, ColumnType::Integer, 0, required, false, {}};
}

std::vector<MasterTable> defineTables()
{
    MasterColumn layoutKind = code(u"フォーマット種別"_s, {u"E"_s, u"L"_s});
    layoutKind.required = layoutKind.key = true;
    MasterColumn attribute = text(u"属性"_s, 1);
    attribute.required = true;
    MasterColumn itemSerial = integer(u"項目通番"_s, true);
    itemSerial.key = true;
    MasterColumn weekday = integer(u"曜日"_s, true);
    weekday.key = true;
    const MasterColumn startTime{u"起動時刻"_s, ColumnType::Time, 0, true, true, {}};
    return {
        {kCodeMaster, {keyText(u"区分"_s, 20), keyText(u"区分ｺｰﾄﾞ"_s, 10), text(u"区分名称"_s, 40)}},
        {kControlMaster,
         {keyText(u"センターコード"_s, 12), text(u"センター名"_s, 60), code(u"送受信方式"_s, {u"Z"_s, u"M"_s, u"W"_s}),
          text(u"実行端末名"_s, 64), text(u"相手先種別"_s, 1), integer(u"CVX受信相手先番号"_s),
          integer(u"CVX受信ファイル番号"_s), text(u"CVX受信ファイルパス"_s, 4096), text(u"送受信データ形式"_s, 1),
          text(u"相手先メールアドレス"_s, 255)}},
        {kScheduleMaster,
         {keyText(u"センターコード"_s, 12), weekday, startTime, code(u"送受信種別"_s, {u"R"_s, u"S"_s})}},
        {kPartnerMaster, {keyText(u"センターコード"_s, 12), keyText(u"相手先企業コード"_s, 20)}},
        {kFormatMaster,
         {keyText(u"情報区分コード"_s, 4), keyText(u"BPID"_s, 8), text(u"様式識別"_s, 10),
          text(u"シンタックスIDバージョン"_s, 6), text(u"格納モード"_s, 1), text(u"1バイト文字集合"_s, 1),
          text(u"2バイト文字集合"_s, 1), text(u"ローカル形式"_s, 10), text(u"XML文字コード"_s, 1)}},
        {kLayoutMaster,
         {layoutKind, keyText(u"情報区分コード"_s, 4), keyText(u"BPID"_s, 8), itemSerial, integer(u"対応項目通番"_s),
          integer(u"レベル番号"_s), integer(u"項目№"_s), text(u"項目位置"_s, 10), text(u"項目名称"_s, 60), attribute,
          integer(u"長さ"_s), integer(u"小数部長さ"_s), text(u"マルチ明細番号"_s, 5), integer(u"繰返し数"_s, true),
          text(u"固定項目値"_s, 60), text(u"変換エラー対処"_s, 10)}},
    };
}

}  // namespace

int MasterTable::columnIndex(const QString& column) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(column, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

std::vector<int> MasterTable::keyColumns() const
{
    std::vector<int> keys;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].key)
            keys.push_back(int(i));
    }
    return keys;
}

const std::vector<MasterTable>& masterTables()
{
    static const std::vector<MasterTable> tables = defineTables();
    return tables;
}

const MasterTable& masterTable(const QString& name)
{
    for (const MasterTable& table : masterTables()) {
        if (table.name == name)
            return table;
    }
    throw std::logic_error("no master table " + name.toStdString());
}

QString sqlColumnName(const QString& column)
{
    return column.front().isDigit() ? u'"' + column + u'"' : column;
}

}  // namespace edi
