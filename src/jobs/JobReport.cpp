#include "jobs/JobReport.h"

#include "app/ResultCode.h"
#include "app/text/TextHelpers.h"
#include "jobs/CodeMeaning.h"
#include "jobs/JobCodes.h"

#include <algorithm>
#include <iterator>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString historyStepName(const QString& processingKind)
{
    if (processingKind == u"01"_s)
        return u"ジョブ"_s;
    if (processingKind == u"10"_s)
        return u"受信"_s;
    if (processingKind == u"31"_s || processingKind == u"32"_s)
        return u"ローカル変換"_s;
    if (processingKind == u"33"_s || processingKind == u"34"_s)
        return u"CII変換"_s;
    if (processingKind == u"41"_s)
        return u"登録"_s;
    return u"処理 "_s + processingKind;
}

namespace {

bool succeeded(const QString& code)
{
    return code.isEmpty() || code == ResultCode::ok;
}

// "5100/9999 メール・持込の受信エラー": the codes of a row that did not end well; a detail code
// that only repeats the end code (a converter's) is not told twice.
QString codesText(const HistoryRow& row)
{
    QString text = row.endCode;
    if (!row.detailCode.isEmpty() && row.detailCode != ResultCode::ok && row.detailCode != row.endCode)
        text += u'/' + row.detailCode;
    const QString meaning = codeMeaning(row.processingKind, row.endCode, row.detailCode);
    return meaning.isEmpty() ? text : text + u' ' + meaning;
}

QString stepLine(const HistoryRow& row)
{
    QStringList parts{historyStepName(row.processingKind) + u':'};
    if (!row.completed)
        parts << u"終了していません"_s;
    else if (!succeeded(row.endCode))
        parts << codesText(row);
    if (row.processingKind == u"41"_s && !row.transactionCategory.trimmed().isEmpty())
        parts << u"区分 %1 入力 %2 件 出力 %3 件"_s.arg(row.transactionCategory.trimmed())
                     .arg(row.inputRecords)
                     .arg(row.outputRecords);
    if (!row.fileName.trimmed().isEmpty() && row.processingKind != u"10"_s)
        parts << row.fileName;
    // A converter's reason is often the words of its code, told already.
    if (!row.note.isEmpty() && row.note != codeMeaning(row.processingKind, row.endCode, row.detailCode))
        parts << row.note;
    return parts.join(u' ');
}

QString jobLine(qint32 serial, const HistoryRow& job)
{
    QString line = u"通番 "_s + serialText(serial) + u' ' + job.centreCode.trimmed() + u' ';
    if (!job.completed)
        line += rowMeaning(job);
    else if (succeeded(job.endCode))
        line += std::ranges::find(JobCode::successDetails, job.detailCode) != std::end(JobCode::successDetails)
                  ? u"正常終了 (%1)"_s.arg(codesText(job))
                  : u"正常終了"_s;
    else
        line += u"異常終了 "_s + codesText(job);
    if (!job.note.isEmpty())
        line += u" / "_s + job.note;
    return line;
}

}  // namespace

QString rowMeaning(const HistoryRow& row)
{
    return row.completed ? codeMeaning(row.processingKind, row.endCode, row.detailCode) : u"実行中または中断"_s;
}

QStringList reportWithNotes(const QStringList& report, const QStringList& notes)
{
    QStringList lines = report;
    const QString told = report.join(u'\n');
    for (const QString& note : notes) {
        if (!told.contains(note))
            lines << note;
    }
    return lines;
}

QStringList jobReport(qint32 serial, const std::vector<HistoryRow>& rows)
{
    QStringList lines;
    for (const HistoryRow& row : rows) {
        if (row.branch == 0)
            lines.prepend(jobLine(serial, row));
        else
            lines << stepLine(row);
    }
    return lines;
}

}  // namespace edi
