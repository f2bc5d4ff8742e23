#pragma once

#include "app/config/Configuration.h"
#include "transport/SourceClaim.h"

namespace edi {

// The message whose attachment became a job's received file, held by the store's claim until the
// reception is recorded: released, it is marked read; given back, the received file goes and the
// message is unread again for the next reception. Each settlement signs on to the store anew,
// since the reception signed off long before. A message that cannot be marked read when released
// is remembered (UnmarkedMessages, beside the received file) for the next session to mark.
class MailClaim final : public SourceClaim {
public:
    // The message of the mailbox (MailStore::mailboxName), told by its description.
    MailClaim(MailSettings settings, QString configFolder, QString mailbox, QString message, QString described,
              QString receivedFile);
    ~MailClaim() override;

    QString release() override;
    QString giveBack() override;

private:
    MailSettings settings_;
    QString configFolder_;
    QString mailbox_;
    QString message_;
    QString described_;
    QString receivedFile_;
    bool settled_ = false;
};

}  // namespace edi
