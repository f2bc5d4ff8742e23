#pragma once

#include "transport/SourceClaim.h"
#include "transport/TransferRequests.h"

namespace edi {

// The hand-over file a job has taken: renamed to a private name in its own folder, so that a
// second job finds nothing there, and copied into the received-files folder under the job's name.
// Released, the private copy is deleted; given back, the job's received file goes and the file
// returns to the hand-over path, or, when a new file was put there meanwhile, stays beside it
// under a name ending in ".returned-SERIAL": neither is ever overwritten.
class HandOverClaim final : public SourceClaim {
public:
    HandOverClaim(QString handOverPath, qint32 serial, QString receivedFile);
    ~HandOverClaim() override;

    // The private name of the file a job with the serial took: "." + name + ".claim-" + serial.
    static QString claimPath(const QString& handOverPath, qint32 serial);

    QString release() override;
    QString giveBack() override;

private:
    QString handOverPath_;
    QString claimPath_;
    QString receivedFile_;
    qint32 serial_;
    bool settled_ = false;
};

// RunHandOver: takes over a file that was put at the centre's fixed path as the job's received
// CII or XML file (by the data format, full-width letters too). Sets the request's result code
// and returns it with the claim on the file: "9999" for a missing file ("受信データなし"), a data
// format or direction it does not know, or a file error; the file then stays where it was.
TransferReceipt runHandOver(HandOverRequest& request, const QString& receivedFolder);

}  // namespace edi
