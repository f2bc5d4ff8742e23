#pragma once

#include "support/TestMail.h"
#include "transport/TransferRequests.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>

namespace edi::test {

enum class StoreKind { Maildir, Imap };

// A workstation that receives mail: EDI.ini with [MAPI], a received-files folder, and a mailbox
// of its own, either a Maildir folder or a folder on the test IMAP server.
class MailFixture : public ::testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override;

    QString path(const QString& relative) const { return dir_.filePath(relative); }
    void writeIni(const QString& store, const QString& user = QStringLiteral("edi"),
                  const QString& password = QStringLiteral("secret"));
    // Runs a reception of serial 12 for centre ABC and the partner orders@kansai.example.jp.
    QString receive(const QString& format = QStringLiteral("C"), qint32 serial = 12);
    QString receive(MailRequest request);
    // The received-files folder's entries, hidden ones included.
    QStringList received() const;

    static const QByteArray kPartner;
    static const QStringList kSuccess;  // the window's events of a reception that worked

    QTemporaryDir dir_;
    std::optional<TestMailbox> mailbox_;
    RecordingMailProgress progress_;
};

std::string storeName(const ::testing::TestParamInfo<StoreKind>& info);

}  // namespace edi::test
