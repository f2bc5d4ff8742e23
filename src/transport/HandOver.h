#pragma once

#include "transport/SourceClaim.h"
#include "transport/TransferRequests.h"

namespace edi {

// The hand-over file a job has taken: renamed to a private name in its own folder, so that a
// second job finds nothing there, and copied into the received-files folder under the job's name.
// Released, the private copy is deleted; given back, the job's received file goes and the file
// returns to where it was taken from (the hand-over path, or the name it was given back under
// before), or, when a new file was put there meanwhile, stays beside the hand-over path under a
// name ending in ".returned-SERIAL": neither is ever overwritten.
class HandOverClaim final : public SourceClaim {
public:
    // `source`: where the file was taken from; empty for the hand-over path.
    HandOverClaim(QString handOverPath, qint32 serial, QString receivedFile, QString source = {});
    ~HandOverClaim() override;

    // The private name of the file a job with the serial took: "." + name + ".claim-" + serial.
    static QString claimPath(const QString& handOverPath, qint32 serial);

    QString release() override;
    QString giveBack() override;

private:
    QString handOverPath_;
    QString source_;
    QString claimPath_;
    QString receivedFile_;
    qint32 serial_;
    bool settled_ = false;
};

// RunHandOver: takes over a file that was put at the centre's fixed path as the job's received
// CII or XML file (by the data format, full-width letters too). Without a file there it takes the
// oldest file given back beside it (NAME.returned-SERIAL), so none is left waiting. A file is
// taken only once it is settled (see unsettledReason, with the request's settle seconds), and
// its copy is compared with it afterwards: a file that changed meanwhile is given back.
//
// Sets the request's result code and returns it with the claim on the file: "0000" also when
// there was nothing to take (SourceFinding::NoData, "受信データなし") or the file was still being
// written (SourceFinding::NotSettled, "書込み中のため受信せず" and why); "9999" for a data format
// or direction it does not know, a folder, FIFO or other special file at the path, or a file
// error. What is not taken stays where it was.
TransferReceipt runHandOver(HandOverRequest& request, const QString& receivedFolder);

// The files a reception may take, in the order it takes them: the file at the hand-over path,
// then those given back beside it, oldest first; names of uploads in progress are passed over.
QStringList handOverCandidates(const QString& handOverPath);

}  // namespace edi
