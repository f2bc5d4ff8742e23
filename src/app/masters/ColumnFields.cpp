#include "app/masters/ColumnFields.h"

#include "app/database/ColumnValues.h"

#include <QRegularExpression>
#include <QTime>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

ColumnValue readText(const MasterColumn& column, const CsvField& field)
{
    if (field.text.isEmpty() && !field.quoted)
        return {nullValue(column), {}};
    const qsizetype length = characterCount(field.text);
    if (length > column.maxLength)
        return {{}, u"長すぎます (%1 文字、この列は %2 文字まで)"_s.arg(length).arg(column.maxLength)};
    if (!column.codes.isEmpty() && !column.codes.contains(field.text))
        return {{}, u"%1 のどれでもありません"_s.arg(column.codes.join(u", "_s))};
    // An empty text, which the statement would bind as null if its QString were a null one.
    if (field.text.isEmpty())
        return {u""_s, {}};
    return {field.text, {}};
}

ColumnValue readInteger(const QString& text)
{
    static const QRegularExpression digits(u"^[+-]?[0-9]+$"_s);
    if (!digits.match(text).hasMatch())
        return {{}, u"整数ではありません"_s};
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max())
        return {{}, u"整数の範囲 (-2147483648 から 2147483647) を超えています"_s};
    return {int(number), {}};
}

ColumnValue readTime(const QString& text)
{
    static const QRegularExpression form(u"^([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}))?$"_s);
    const QRegularExpressionMatch match = form.match(text);
    const QTime time = match.hasMatch()
                         ? QTime(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt())
                         : QTime();
    if (!time.isValid())
        return {{}, u"時刻ではありません (HH:MM または HH:MM:SS)"_s};
    return {time, {}};
}

ColumnValue readValue(const MasterColumn& column, const CsvField& field)
{
    if (column.type == ColumnType::Text)
        return readText(column, field);
    // Blanks around a number or a time are what a hand-edited file often has; they carry nothing.
    const QString text = field.text.trimmed();
    if (text.isEmpty())
        return {nullValue(column), {}};
    return column.type == ColumnType::Integer ? readInteger(text) : readTime(text);
}

}  // namespace

ColumnValue readColumnField(const MasterColumn& column, const CsvField& field)
{
    ColumnValue read = readValue(column, field);
    if (!read.problem.isEmpty())
        return read;
    if (column.key && (read.value.isNull() || read.value.toString().isEmpty()))
        return {{}, u"キーの列が空です"_s};
    if (column.required && read.value.isNull())
        return {{}, u"値がありません (この列には値が必要です)"_s};
    return read;
}

QVariant nullValue(const MasterColumn& column)
{
    switch (column.type) {
    case ColumnType::Integer: return QVariant(QMetaType::fromType<int>());
    case ColumnType::Time: return QVariant(QMetaType::fromType<QTime>());
    case ColumnType::Text: break;
    }
    return QVariant(QMetaType::fromType<QString>());
}

std::optional<QString> columnFieldText(const MasterColumn& column, const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    if (column.type == ColumnType::Time) {
        // What is no time stays as it is, for the import to point out.
        const QTime time = timeValue(value);
        return time.isValid() ? time.toString(u"HH:mm:ss"_s) : value.toString();
    }
    return value.toString();
}

qsizetype characterCount(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isLowSurrogate() || i == 0 || !text[i - 1].isHighSurrogate())
            ++count;
    }
    return count;
}

}  // namespace edi
