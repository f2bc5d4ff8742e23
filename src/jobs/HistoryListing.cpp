#include "jobs/HistoryListing.h"

#include "app/text/TextHelpers.h"
#include "app/text/TextTable.h"
#include "jobs/JobReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

struct Column {
    const char16_t* key;
    const char16_t* title;
    bool number;  // a count: right-aligned in the table, a number in JSON
};

constexpr Column kColumns[] = {
    {u"serial", u"通番", true},          {u"branch", u"枝番", true},
    {u"step", u"処理", false},           {u"centre", u"センター", false},
    {u"started", u"開始", false},        {u"ended", u"終了", false},
    {u"end_code", u"終了コード", false}, {u"detail_code", u"詳細コード", false},
    {u"meaning", u"意味", false},        {u"category", u"区分", false},
    {u"input_records", u"入力件数", true}, {u"output_records", u"出力件数", true},
    {u"file", u"ファイル", false},        {u"note", u"備考", false},
};
constexpr int kColumnCount = int(std::size(kColumns));

QString timeText(const QDateTime& when)
{
    return when.isValid() ? when.toString(u"yyyy-MM-dd HH:mm:ss"_s) : QString();
}

QString table(const std::vector<JobHistory>& jobs)
{
    std::vector<QStringList> lines{historyColumnTitles()};
    for (const JobHistory& job : jobs) {
        for (const HistoryRow& row : job.rows)
            lines.push_back(historyCells(job.serial, row));
    }
    std::vector<bool> counts;
    for (const Column& column : kColumns)
        counts.push_back(column.number);
    return alignedTable(lines, counts);
}

QString csvField(const QString& value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    return u'"' + QString(value).replace(u"\""_s, u"\"\""_s) + u'"';
}

QString csv(const std::vector<JobHistory>& jobs)
{
    auto line = [](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells)
            fields << csvField(cell);
        return fields.join(u',') + u"\r\n"_s;
    };
    QString text = line(historyColumnKeys());
    for (const JobHistory& job : jobs) {
        for (const HistoryRow& row : job.rows)
            text += line(historyCells(job.serial, row));
    }
    return text;
}

QJsonObject jsonRow(qint32 serial, const HistoryRow& row)
{
    const QStringList cells = historyCells(serial, row);
    QJsonObject object;
    for (int column = 0; column < kColumnCount; ++column) {
        const QString key = QString::fromUtf16(kColumns[column].key);
        if (kColumns[column].number)
            object.insert(key, cells[column].toInt());
        else if (cells[column].isEmpty())
            object.insert(key, QJsonValue::Null);
        else
            object.insert(key, cells[column]);
    }
    return object;
}

QString json(const std::vector<JobHistory>& jobs)
{
    QJsonArray array;
    for (const JobHistory& job : jobs) {
        QJsonObject object = jsonRow(job.serial, job.jobRow());
        object.remove(u"branch"_s);
        QJsonArray steps;
        for (size_t index = 1; index < job.rows.size(); ++index) {
            QJsonObject step = jsonRow(job.serial, job.rows[index]);
            step.remove(u"serial"_s);
            steps.append(step);
        }
        object.insert(u"steps"_s, steps);
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

}  // namespace

std::optional<HistoryFormat> historyFormatNamed(const QString& name)
{
    if (name == u"table"_s)
        return HistoryFormat::Table;
    if (name == u"csv"_s)
        return HistoryFormat::Csv;
    if (name == u"json"_s)
        return HistoryFormat::Json;
    return std::nullopt;
}

QStringList historyColumnTitles()
{
    QStringList titles;
    for (const Column& column : kColumns)
        titles << QString::fromUtf16(column.title);
    return titles;
}

QStringList historyColumnKeys()
{
    QStringList keys;
    for (const Column& column : kColumns)
        keys << QString::fromUtf16(column.key);
    return keys;
}

QStringList historyCells(qint32 serial, const HistoryRow& row)
{
    return {
        QString::number(serial),
        QString::number(row.branch),
        historyStepName(row.processingKind),
        row.centreCode.trimmed(),
        timeText(row.started),
        timeText(row.ended),
        row.endCode.trimmed(),
        row.detailCode.trimmed(),
        rowMeaning(row),
        row.transactionCategory.trimmed(),
        QString::number(row.inputRecords),
        QString::number(row.outputRecords),
        row.fileName.trimmed(),
        row.note,
    };
}

QString formatHistory(const std::vector<JobHistory>& jobs, HistoryFormat format)
{
    switch (format) {
    case HistoryFormat::Table: return table(jobs);
    case HistoryFormat::Csv: return csv(jobs);
    case HistoryFormat::Json: break;
    }
    return json(jobs);
}

}  // namespace edi
