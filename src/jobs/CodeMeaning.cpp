#include "jobs/CodeMeaning.h"

#include "app/ResultCode.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionLog.h"
#include "jobs/JobCodes.h"
#include "transport/TransferCodes.h"

#include <algorithm>
#include <iterator>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

struct EndCodeWords {
    const QString& endCode;
    const char16_t* words;
};

struct DetailCodeWords {
    const QString& endCode;
    const QString& detailCode;
    const char16_t* words;
};

const EndCodeWords kEndCodes[] = {
    {ResultCode::ok, u"正常終了"},
    {ResultCode::failed, u"処理エラー"},
    {JobCode::registrationFailed, u"登録プログラムを実行できませんでした"},
    {TransferCode::packageFailed, u"通信パッケージの受信エラー"},
    {TransferCode::receptionFailed, u"メール・持込の受信エラー"},
    {JobCode::noReceivePath, u"CVX受信ファイルパスがありません"},
    {JobCode::noControlRow, u"EDI制御マスタにセンターがありません"},
    {JobCode::noPartnerCompany, u"センタ利用企業マスタにセンターがありません"},
    {JobCode::centreBusy, u"他のプロセスが受信中"},
    {JobCode::interrupted, u"処理が中断されました"},
    {JobCode::duplicate, u"受信済みのデータと同じため登録せず"},
};

// Detail codes that say more than their end code.
const DetailCodeWords kDetailCodes[] = {
    {ResultCode::ok, JobCode::backupFailed, u"バックアップエラー"},
    {ResultCode::ok, JobCode::noData, u"受信データなし"},
    {ResultCode::ok, JobCode::notSettled, u"書込み中のため受信せず"},
    {JobCode::registrationFailed, JobCode::noStatusFile, u"登録プログラムがステータスファイルを残しませんでした"},
};

bool isConversionRow(const QString& processingKind)
{
    return processingKind == u"31"_s || processingKind == u"32"_s || processingKind == u"33"_s
        || processingKind == u"34"_s;
}

// The converter's error whose four digits the code is; 0 for none.
int conversionError(const QString& code)
{
    bool isNumber = false;
    const int number = code.toInt(&isNumber);
    if (!isNumber || code.size() != 4 || std::ranges::find(ConversionCode::errors, number) == std::end(ConversionCode::errors))
        return 0;
    return number;
}

}  // namespace

QString codeMeaning(const QString& processingKind, const QString& endCode, const QString& detailCode)
{
    if (isConversionRow(processingKind)) {
        if (const int error = conversionError(endCode))
            return conversionCodeText(error);
    }
    for (const DetailCodeWords& entry : kDetailCodes) {
        if (entry.endCode == endCode && entry.detailCode == detailCode)
            return QString::fromUtf16(entry.words);
    }
    for (const EndCodeWords& entry : kEndCodes) {
        if (entry.endCode == endCode)
            return QString::fromUtf16(entry.words);
    }
    return {};
}

}  // namespace edi
