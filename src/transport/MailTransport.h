#pragma once

#include "transport/MailReceiver.h"

namespace edi {

class MailProgress;

// RunMailTransfer: receives the partner's data attachment as the job's received file.
//
// It checks the request, reads [MAPI] and [MAIL] from the configuration at every job, signs on
// to the mail store [MAPI] Store names, marks read what earlier receptions received and could
// not mark (see UnmarkedMessages), and looks at the unread messages in the order they arrived. A
// message qualifies when its first recipient is the partner address; it is claimed for the job
// (see MailStore::claim) and its data attachment decoded into the received-files folder as the
// job's received file (serial + "_RCV_" + padded centre + ".CII" for data format "C", ".XML" for
// "X"), replacing it, so the last qualifying message wins; an earlier one is given back, unread,
// for the next reception. The data attachment is the first attachment a mail program lists whose
// content is of the centre's form (a CII file, an XML document): a cover letter before it is
// passed over. Without a qualifying message nothing is stored and the reception ends well with
// nothing taken (SourceFinding::NoData, "受信データなし").
//
// The stored message stays claimed in the receipt: it is marked read only once the reception is
// recorded, and given back otherwise. A qualifying message without a data attachment (error 204,
// naming the attachments it has), with a broken MIME structure, or whose data was sent without
// transfer encoding (8bit, binary) by a server that cannot send it unchanged (no BINARY, error
// 208) fails the reception and is rejected: it stays unread and marked, so that later receptions
// take the partner's next messages, and the log names it.
//
// The attachment is written to a temporary file in the received-files folder and renamed into
// place only when the whole reception succeeded: a failed reception stores nothing and leaves
// every message unread. Any error of the sign-on, the reception or the sign-off is shown as
// "Error <number>: <description>" (numbers in transport/mail/MailError.h) and fails the job.
//
// Results: "0000", or "9999" for an invalid request (no centre code or one longer than
// 12 characters, a direction other than reception, a data format other than "C" or "X", no
// partner address; no message), an unreadable configuration file ("INIﾌｧｲﾙ読込エラー") and every
// error above. Safe to use from a job thread; each call works on its own session.
class MailTransport final : public MailReceiver {
public:
    MailTransport(QString configPath, QString receivedFolder, MailProgress& progress);

    TransferReceipt receive(MailRequest& request) override;

private:
    TransferReceipt run(const MailRequest& request);

    QString configPath_;
    QString receivedFolder_;
    MailProgress& progress_;
};

}  // namespace edi
