#include "jobs/JobReport.h"

#include "app/ResultCode.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobCodes.h"

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

// "5100/9999 メール・持込の受信エラー": the codes of a row that did not end well.
QString codesText(const HistoryRow& row)
{
    QString text = row.endCode;
    if (!row.detailCode.isEmpty() && row.detailCode != ResultCode::ok)
        text += u'/' + row.detailCode;
    const QString meaning = jobCodeMeaning(row.endCode, row.detailCode);
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
    if (!row.note.isEmpty())
        parts << row.note;
    return parts.join(u' ');
}

QString jobLine(qint32 serial, const HistoryRow& job)
{
    QString line = u"通番 "_s + serialText(serial) + u' ' + job.centreCode.trimmed() + u' ';
    if (!job.completed)
        line += rowMeaning(job);
    else if (succeeded(job.endCode))
        line += job.detailCode == JobCode::backupFailed ? u"正常終了 (%1)"_s.arg(codesText(job)) : u"正常終了"_s;
    else
        line += u"異常終了 "_s + codesText(job);
    if (!job.note.isEmpty())
        line += u" / "_s + job.note;
    return line;
}

}  // namespace

QString jobCodeMeaning(const QString& endCode, const QString& detailCode)
{
    if (endCode == ResultCode::ok)
        return detailCode == JobCode::backupFailed ? u"バックアップエラー"_s : u"正常終了"_s;
    if (endCode == ResultCode::failed)
        return u"処理エラー"_s;
    if (endCode == u"4100"_s)
        return detailCode == u"0002"_s ? u"登録プログラムがステータスファイルを残しませんでした"_s
                                       : u"登録プログラムを実行できませんでした"_s;
    if (endCode == u"5001"_s)
        return u"通信パッケージの受信エラー"_s;
    if (endCode == u"5100"_s)
        return u"メール・持込の受信エラー"_s;
    if (endCode == u"6101"_s)
        return u"CVX受信ファイルパスがありません"_s;
    if (endCode == u"7002"_s)
        return u"EDI制御マスタにセンターがありません"_s;
    if (endCode == u"7300"_s)
        return u"センタ利用企業マスタにセンターがありません"_s;
    if (endCode == JobCode::centreBusy)
        return u"他のプロセスが受信中"_s;
    if (endCode == JobCode::interrupted)
        return u"処理が中断されました"_s;
    return {};
}

QString rowMeaning(const HistoryRow& row)
{
    return row.completed ? jobCodeMeaning(row.endCode, row.detailCode) : u"実行中または中断"_s;
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
