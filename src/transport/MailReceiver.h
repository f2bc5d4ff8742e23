#pragma once

#include "app/ResultCode.h"
#include "transport/SourceClaim.h"
#include "transport/TransferRequests.h"

namespace edi {

// The mail transport as the job runner uses it: RunMailTransfer stores the partner's attachment
// as the job's received file and sets the request's result code, which it returns with the claim
// on the message.
class MailReceiver {
public:
    virtual ~MailReceiver() = default;
    virtual TransferReceipt receive(MailRequest& request) = 0;
};

// A workstation without a mail store: every mail reception fails.
class NoMailReceiver final : public MailReceiver {
public:
    TransferReceipt receive(MailRequest& request) override
    {
        request.resultCode = ResultCode::failed;
        return {request.resultCode, {}, {}};
    }
};

}  // namespace edi
