#pragma once

#include "transport/MailReceiver.h"

namespace edi {

class MailProgress;

// RunMailTransfer: receives the partner's attachment as the job's received file.
//
// It checks the request, reads [MAPI] and [MAIL] from the configuration at every job, signs on
// to the mail store [MAPI] Store names, and looks at the unread messages in the order they
// arrived. A message qualifies when its first recipient is the partner address; the first
// attachment of a qualifying message is decoded into the received-files folder as the job's
// received file (serial + "_RCV_" + padded centre + ".CII" for data format "C", ".XML" for
// "X"), replacing it, so the last qualifying message wins. The stored message is then marked
// read; every other message stays unread, an earlier qualifying message whose attachment was
// replaced included, so the next reception takes it. Without a qualifying message nothing is
// stored and the reception still succeeds.
//
// The attachment is written to a temporary file in the received-files folder and renamed into
// place only when the whole reception succeeded: a failed reception stores nothing and marks
// nothing read. Any error of the sign-on, the reception or the sign-off is shown as
// "Error <number>: <description>" (numbers in transport/mail/MailError.h) and fails the job.
//
// Results: "0000", or "9999" for an invalid request (no centre code or one longer than
// 12 characters, a direction other than reception, a data format other than "C" or "X", no
// partner address; no message), an unreadable configuration file ("INIﾌｧｲﾙ読込エラー") and every
// error above. Safe to use from a job thread; each call works on its own session.
class MailTransport final : public MailReceiver {
public:
    MailTransport(QString configPath, QString receivedFolder, MailProgress& progress);

    QString receive(MailRequest& request) override;

private:
    QString run(const MailRequest& request);

    QString configPath_;
    QString receivedFolder_;
    MailProgress& progress_;
};

}  // namespace edi
