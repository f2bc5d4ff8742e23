#include "convert/localcii/FormatMasters.h"

#include "app/database/Database.h"
#include "convert/localcii/Layout.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString text(const ResultSet& row, const QString& column, const QString& fallback = {})
{
    const QVariant value = row.value(column);
    return value.isNull() ? fallback : value.toString();
}

qint32 number(const ResultSet& row, const QString& column)
{
    return row.value(column).toInt();  // null reads as 0
}

}  // namespace

std::optional<FormatMasterRow> DatabaseFormatMasters::lookUpFormat(const QString& infoClass, const QString& bpid)
{
    const ResultSet row = database_.query(
        {u"SELECT * FROM FL1902フォーマット情報マスタ WHERE 情報区分コード=? AND BPID=?"_s, {infoClass, bpid}});
    if (row.atEnd())
        return std::nullopt;
    return FormatMasterRow{text(row, u"様式識別"_s),     text(row, u"シンタックスIDバージョン"_s),
                           text(row, u"格納モード"_s),   text(row, u"1バイト文字集合"_s),
                           text(row, u"2バイト文字集合"_s), text(row, u"ローカル形式"_s),
                           text(row, u"XML文字コード"_s)};
}

std::vector<LayoutItem> DatabaseFormatMasters::layoutRows(QChar kind, const QString& infoClass, const QString& bpid)
{
    std::vector<LayoutItem> items;
    for (ResultSet row = database_.query(
             {u"SELECT * FROM FL1903レコードフォーマット情報マスタ WHERE フォーマット種別=? AND 情報区分コード=? AND BPID=?"
              u" ORDER BY 項目通番"_s,
              {QString(kind), infoClass, bpid}});
         !row.atEnd(); row.next()) {
        LayoutItem item;
        item.serial = number(row, u"項目通番"_s);
        item.counterpartSerial = number(row, u"対応項目通番"_s);
        item.level = number(row, u"レベル番号"_s);
        item.itemNumber = number(row, u"項目№"_s);
        item.position = text(row, u"項目位置"_s);
        item.name = text(row, u"項目名称"_s);
        item.length = number(row, u"長さ"_s);
        item.decimals = number(row, u"小数部長さ"_s);
        item.multiDetailNumber = text(row, u"マルチ明細番号"_s, u"0"_s);
        item.fixedValue = text(row, u"固定項目値"_s);
        item.errorTreatment = text(row, u"変換エラー対処"_s);
        const QVariant attribute = row.value(u"属性"_s);
        const QVariant repeatCount = row.value(u"繰返し数"_s);
        if (attribute.isNull() || repeatCount.isNull())
            throw LayoutError(u"項目通番 %1: 属性 and 繰返し数 are required"_s.arg(item.serial));
        item.attribute = attribute.toString().trimmed();
        item.repeatCount = repeatCount.toInt();
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace edi
