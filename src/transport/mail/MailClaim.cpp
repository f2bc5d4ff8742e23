#include "transport/mail/MailClaim.h"

#include "app/files/FileHelpers.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"
#include "transport/mail/UnmarkedMessages.h"

#include <QFileInfo>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Runs one operation on the claimed message in a session of its own; the error's text, or none.
QString inSession(const MailSettings& settings, const QString& configFolder, const std::function<void(MailStore&)>& operation)
{
    try {
        const std::unique_ptr<MailStore> store = openMailStore(settings, configFolder);
        store->signOn();
        operation(*store);
        store->signOff();
        return {};
    } catch (const MailError& error) {
        return error.message();
    }
}

}  // namespace

MailClaim::MailClaim(MailSettings settings, QString configFolder, QString mailbox, QString message, QString described,
                     QString receivedFile)
    : settings_(std::move(settings))
    , configFolder_(std::move(configFolder))
    , mailbox_(std::move(mailbox))
    , message_(std::move(message))
    , described_(std::move(described))
    , receivedFile_(std::move(receivedFile))
{
}

MailClaim::~MailClaim()
{
    if (!settled_)
        giveBack();
}

QString MailClaim::release()
{
    settled_ = true;
    const QString error = inSession(settings_, configFolder_, [this](MailStore& store) { store.markRead(message_); });
    if (error.isEmpty())
        return {};
    // Unread, the message would be received again by the next reception.
    if (UnmarkedMessages(QFileInfo(receivedFile_).absolutePath()).add(mailbox_, message_, described_))
        return u"受信済みのメールを既読にできません。次の受信の前に既読にします: %1: %2"_s.arg(error, described_);
    return u"受信済みのメールを既読にできず、記録もできません。次の受信で同じメールをもう一度受信するおそれがあります: %1: %2"_s.arg(
        error, described_);
}

QString MailClaim::giveBack()
{
    settled_ = true;
    deleteFile(receivedFile_);
    const QString error = inSession(settings_, configFolder_, [this](MailStore& store) { store.giveBack(message_); });
    return error.isEmpty() ? u"メールを未読に戻しました"_s : u"メールを未読に戻せません: "_s + error;
}

}  // namespace edi
