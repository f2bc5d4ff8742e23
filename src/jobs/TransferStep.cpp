#include "jobs/TransferStep.h"

#include "app/ResultCode.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "jobs/ControlRow.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"
#include "jobs/JobObserver.h"
#include "transport/CommunicationPackageDriver.h"
#include "transport/HandOver.h"
#include "transport/MailReceiver.h"
#include "transport/TransferCodes.h"

#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

struct TransferOutcome {
    QString endCode;
    QString detailCode;
    QString note;
    std::unique_ptr<SourceClaim> claim;
};

// The detail code of a transfer that ended well: none when it brought data.
QString detailOf(SourceFinding found)
{
    switch (found) {
    case SourceFinding::Data: break;
    case SourceFinding::NoData: return JobCode::noData;
    case SourceFinding::NotSettled: return JobCode::notSettled;
    }
    return {};
}

// The job's codes for a transport's receipt: "0000" (with the detail of a transfer that brought
// nothing), or the method's failure code with the transport's own code as the detail.
TransferOutcome outcomeOf(TransferReceipt receipt, const QString& failureCode)
{
    if (receipt.code == ResultCode::ok)
        return {ResultCode::ok, detailOf(receipt.found), std::move(receipt.note), std::move(receipt.claim)};
    return {failureCode, receipt.code, std::move(receipt.note), {}};
}

TransferOutcome transferByMethod(JobContext& job, const ControlRow& centre, qint32 serial)
{
    const QString& method = centre.transferMethod;
    if (method == u"Z"_s) {
        if (centre.partnerNumber.isNull() || centre.fileNumber.isNull())
            return {TransferCode::packageFailed, {}, u"通信パッケージの相手先番号またはファイル番号がありません"_s, {}};
        const JobSettings& settings = job.settings();
        LinkRequest request{centre.centreCode, serial, u"1"_s, centre.partnerNumber.toInt(), centre.fileNumber.toInt(), 0, {},
                            settings.reception.settleSeconds};
        return outcomeOf(runLinkTransfer(request, centre.receiveFilePath,
                                         {settings.linkDriver, settings.paths.linkDataFolder, settings.paths.receivedFolder}),
                         TransferCode::packageFailed);
    }
    if (method == u"M"_s) {
        MailRequest request{centre.centreCode, serial, u"R"_s, centre.dataFormat.toString(),
                            centre.partnerAddress.toString(), {}};
        return outcomeOf(job.mail().receive(request), TransferCode::receptionFailed);
    }
    if (method == u"W"_s) {
        HandOverRequest request{centre.centreCode, serial, u"R"_s, centre.dataFormat.toString(),
                                centre.receiveFilePath, job.settings().programId, {}, job.settings().reception.settleSeconds};
        return outcomeOf(runHandOver(request, job.settings().paths.receivedFolder), TransferCode::receptionFailed);
    }
    return {};  // an unknown method transfers nothing
}

TransferOutcome guardedTransfer(JobContext& job, const ControlRow& centre, qint32 serial)
{
    try {
        return transferByMethod(job, centre, serial);
    } catch (const std::exception& error) {
        return {ResultCode::failed, {}, QString::fromLocal8Bit(error.what()), {}};
    }
}

// What a transport took reaches the disk before the transfer row says it was received; where it
// cannot, the reception fails and its source is given back.
void keepReceivedFilesOnDisk(TransferOutcome& outcome, const QString& receivedFolder, qint32 serial)
{
    if (outcome.claim && !syncToDisk(JobFiles::serialFilesIn(receivedFolder, serial))) {
        outcome.endCode = ResultCode::failed;
        outcome.note += u"; 受信ファイルをディスクに書き込めません"_s;
    }
}

}  // namespace

QString runTransfer(JobContext& job, const QString& centreCode, qint32 serial, JobObserver& observer)
{
    HistoryStart start{serial, 0, u"R"_s, u"1"_s, u"10"_s, centreCode, {}};
    const QString added = job.history().addStep(start);
    if (added != ResultCode::ok)
        return added;  // without its row there is nothing to complete, and nothing was taken

    TransferOutcome outcome;
    const ControlRowLookup lookup = loadControlRow(job.database(), centreCode);
    if (lookup.code != ResultCode::ok)
        outcome.endCode = lookup.code;
    else
        outcome = guardedTransfer(job, *lookup.row, serial);
    keepReceivedFilesOnDisk(outcome, job.settings().paths.receivedFolder, serial);
    const bool transferred = outcome.endCode.isEmpty() || outcome.endCode == ResultCode::ok;
    if (!outcome.note.isEmpty())
        observer.note(outcome.note);
    if (!transferred)
        observer.note(u"受信ｴﾗｰ %1 %2/%3"_s.arg(centreCode, outcome.endCode, outcome.detailCode));

    HistoryCompletion completion;
    completion.serial = serial;
    completion.branch = start.branch;
    completion.endCode = outcome.endCode;
    completion.detailCode = outcome.detailCode;
    completion.note = outcome.note;
    const QString closed = job.history().closeRow(completion);
    // A row that went missing turns the completion's end code into the failure code.
    const bool recorded = closed == ResultCode::ok && completion.endCode != ResultCode::failed;

    // The source is given up once the reception is on record, and given back otherwise. What
    // giving it up tells (a mail that could not be marked read) stays in the row's note.
    if (outcome.claim) {
        const bool release = transferred && recorded;
        const QString said = release ? outcome.claim->release() : outcome.claim->giveBack();
        if (!said.isEmpty())
            observer.note(said);
        if (!said.isEmpty() && release)
            job.history().annotateRow(serial, start.branch, said);
    }
    if (!transferred)
        return outcome.endCode;
    if (!recorded)
        return ResultCode::failed;
    return outcome.detailCode.isEmpty() ? ResultCode::ok : outcome.detailCode;
}

}  // namespace edi
