#pragma once

#include "app/ResultCode.h"

#include <QString>
#include <memory>

namespace edi {

// What a transport holds of its source until the reception is recorded. The source is given up
// (a hand-over file deleted, a mail marked read) only once the transfer row is completed; when
// that fails, the source is given back as it was and the job's received file goes, so that the
// next reception brings the data in, once. A claim is released or given back once; one that is
// neither when it goes is given back.
class SourceClaim {
public:
    virtual ~SourceClaim() = default;
    // The reception is recorded: the source is given up. Returns a line for the operator when
    // something is worth telling (the data is in either way), otherwise nothing.
    virtual QString release() = 0;
    // The reception failed or could not be recorded: the source goes back where it was. Returns a
    // line for the operator: where the data is now.
    virtual QString giveBack() = 0;
};

// What a transport that did not fail found at its source.
enum class SourceFinding : qint16 {
    Data,        // it brought the data in
    NoData,      // nothing to receive: the job ends well without data
    NotSettled,  // a file still being written, or changed while it was taken: left for the next reception
};

// What a transport brought in.
struct TransferReceipt {
    QString code;  // the transport's result code; for the package its status code, empty when the driver failed
    // For the operator and the transfer row's note: where the data came from, or why there was none
    // ("受信データなし" and what was looked for; "書込み中のため受信せず" and which file).
    QString note;
    std::unique_ptr<SourceClaim> claim;  // null: nothing to give up or back
    SourceFinding found = SourceFinding::Data;  // of a receipt with code "0000"
};

// The receipt of a transport that ended well without taking anything.
inline TransferReceipt nothingTaken(SourceFinding found, QString note)
{
    return {ResultCode::ok, std::move(note), {}, found};
}

}  // namespace edi
