#pragma once

#include "app/config/Configuration.h"
#include "transport/SourceClaim.h"

namespace edi {

// The message whose attachment became a job's received file, held by the store's claim until the
// reception is recorded: released, it is marked read; given back, the received file goes and the
// message is unread again for the next reception. Each settlement signs on to the store anew,
// since the reception signed off long before.
class MailClaim final : public SourceClaim {
public:
    MailClaim(MailSettings settings, QString configFolder, QString message, QString receivedFile);
    ~MailClaim() override;

    QString release() override;
    QString giveBack() override;

private:
    MailSettings settings_;
    QString configFolder_;
    QString message_;
    QString receivedFile_;
    bool settled_ = false;
};

}  // namespace edi
