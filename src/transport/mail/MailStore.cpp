#include "transport/mail/MailStore.h"

#include "transport/mail/ImapStore.h"
#include "transport/mail/MailError.h"
#include "transport/mail/MaildirStore.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace edi {

void MailStore::fetchPart(const QString& message, const QByteArray& section, QIODevice&)
{
    throw MailError(MailErrorNumber::MessageUnreadable,
                    u"メッセージの部分 %1 を取り出せません: %2"_s.arg(QString::fromLatin1(section), message));
}

std::unique_ptr<MailStore> openMailStore(const MailSettings& settings, const QString& configFolder)
{
    const QString store = settings.store.trimmed();
    if (store.isEmpty())
        throw MailError(MailErrorNumber::NoStore, u"メールストアが設定されていません ([MAPI] Store)"_s);
    if (store.startsWith(u"imap://"_s, Qt::CaseInsensitive) || store.startsWith(u"imaps://"_s, Qt::CaseInsensitive))
        return std::make_unique<ImapStore>(store, settings, configFolder);
    return std::make_unique<MaildirStore>(QDir(configFolder).absoluteFilePath(store));
}

}  // namespace edi
