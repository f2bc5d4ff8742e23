#include "transport/mail/ImapStore.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// UIDs searched for in one command, so that an answer stays short.
constexpr qint64 kSearchWindow = 2000;
// More messages than any mailbox the reception works through holds.
constexpr qint64 kMaxMessages = 10'000'000;
constexpr int kDefaultTimeoutSeconds = 60;
// The keyword of a message that failed a reception: it waits for a person.
const QByteArray kRejected = "$EdiRejected";

qint64 uidOf(const QString& message)
{
    bool ok = false;
    const qint64 uid = message.toLongLong(&ok);
    if (!ok || uid <= 0)
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: UID "_s + message);
    return uid;
}

ImapTls tlsOf(const QString& value)
{
    const QString tls = value.trimmed().toLower();
    if (tls.isEmpty() || tls == u"try"_s)
        return ImapTls::Try;
    if (tls == u"required"_s)
        return ImapTls::Required;
    if (tls == u"none"_s)
        return ImapTls::None;
    throw MailError(MailErrorNumber::SettingInvalid, u"[MAPI] TLS は required、try、none のいずれかです: "_s + value);
}

int timeoutOf(const QString& value)
{
    if (value.trimmed().isEmpty())
        return kDefaultTimeoutSeconds;
    bool ok = false;
    const int seconds = value.trimmed().toInt(&ok);
    if (!ok || seconds <= 0 || seconds > 3600)
        throw MailError(MailErrorNumber::SettingInvalid, u"[MAPI] TIMEOUT は 1 から 3600 までの秒数です: "_s + value);
    return seconds;
}

// The certificates to trust: [MAPI] CAFILE (relative to the configuration's folder), else the
// file SSL_CERT_FILE names, else the system's.
QString caFileOf(const QString& value, const QString& configFolder)
{
    if (!value.trimmed().isEmpty())
        return QDir(configFolder).absoluteFilePath(value.trimmed());
    return qEnvironmentVariable("SSL_CERT_FILE");
}

// The value of the response code "[UIDVALIDITY N]" among the answer's lines; empty without one.
QByteArray uidValidity(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines) {
        const qsizetype at = line.indexOf("[UIDVALIDITY ");
        if (at >= 0)
            return line.mid(at + 13, line.indexOf(']', at) - at - 13).trimmed();
    }
    return {};
}

// Whether the answer to CAPABILITY names the capability.
bool offers(const QList<QByteArray>& lines, const QByteArray& capability)
{
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.toUpper().simplified().split(' ');
        if (words.value(1) == "CAPABILITY" && words.contains(capability))
            return true;
    }
    return false;
}

// The value of "* N EXISTS" among the answer's lines; -1 without one.
qint64 existsCount(const QList<QByteArray>& lines)
{
    qint64 count = -1;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words[2].toUpper() == "EXISTS")
            count = words[1].toLongLong();
    }
    return count;
}

}  // namespace

ImapStore::ImapStore(const QString& url, const MailSettings& settings, const QString& configFolder)
    : url_(url.trimmed())
{
    options_.serverUrl = serverUrl(url_);
    options_.user = settings.profileName.toUtf8();
    options_.password = settings.password.toUtf8();
    options_.tls = tlsOf(settings.tls);
    options_.caFile = caFileOf(settings.caFile, configFolder);
    options_.timeoutSeconds = timeoutOf(settings.timeout);
}

ImapStore::~ImapStore() = default;

QByteArray ImapStore::serverUrl(const QString& store)
{
    const QString url = store.trimmed();
    const qsizetype scheme = url.indexOf(u"://"_s);
    const qsizetype path = scheme < 0 ? -1 : url.indexOf(u'/', scheme + 3);
    return (path < 0 ? url + u'/' : url.left(path + 1)).toUtf8();
}

QString ImapStore::folderName(const QString& store)
{
    const QString url = store.trimmed();
    const qsizetype scheme = url.indexOf(u"://"_s);
    const qsizetype path = scheme < 0 ? -1 : url.indexOf(u'/', scheme + 3);
    QString folder = path < 0 ? QString() : url.mid(path + 1);
    while (folder.endsWith(u'/'))
        folder.chop(1);
    folder = QUrl::fromPercentEncoding(folder.toUtf8());
    return folder.isEmpty() ? u"INBOX"_s : folder;
}

ImapSession& ImapStore::session()
{
    if (!session_)
        throw MailError(MailErrorNumber::ServerUnreachable, u"メールサーバにログオンしていません"_s);
    return *session_;
}

void ImapStore::signOn()
{
    session_ = std::make_unique<ImapSession>(options_);
    const QString folder = folderName(url_);
    const ImapSession::Response selected = session_->run("SELECT " + imapMailboxName(folder));
    if (!selected.ok)
        throw MailError(MailErrorNumber::FolderMissing,
                        u"メールフォルダを開けません: %1 (%2)"_s.arg(folder, QString::fromUtf8(selected.status)));
    messageCount_ = existsCount(selected.untagged);
    // The count drives the search in windows: a server's count beyond any mailbox must not keep
    // the reception searching for ever.
    if (messageCount_ > kMaxMessages)
        throw MailError(MailErrorNumber::SearchFailed, u"受信トレイを検索できません: %1 通のメッセージ"_s.arg(messageCount_));
    mailboxName_ = QString::fromUtf8(options_.serverUrl).replace(u"://"_s, u"://"_s + QString::fromUtf8(options_.user) + u'@')
                 + folder + u";UIDVALIDITY="_s + QString::fromLatin1(uidValidity(selected.untagged));
    // What a server offers after the log-in may be more than before it.
    const ImapSession::Response capabilities = session_->run("CAPABILITY");
    binary_ = capabilities.ok && offers(capabilities.untagged, "BINARY");
}

QStringList ImapStore::unreadMessages()
{
    // Windows of message sequence numbers, which run without gaps from 1 to the number of
    // messages, keep every answer short.
    std::set<qint64> uids;
    auto search = [&](const QByteArray& window) {
        const ImapSession::Response found =
            session().run("UID SEARCH " + window + "UNSEEN UNDELETED UNKEYWORD " + kRejected);
        if (!found.ok)
            throw MailError(MailErrorNumber::SearchFailed, u"受信トレイを検索できません: "_s + QString::fromUtf8(found.status));
        for (const QByteArray& line : found.untagged) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() < 2 || words[1].toUpper() != "SEARCH")
                continue;
            for (qsizetype i = 2; i < words.size(); ++i) {
                bool ok = false;
                const qint64 uid = words[i].toLongLong(&ok);
                if (ok && uid > 0)
                    uids.insert(uid);
            }
        }
    };
    if (messageCount_ < 0)
        search({});
    for (qint64 first = 1; first <= messageCount_; first += kSearchWindow)
        search(QByteArray::number(first) + ':' + QByteArray::number(std::min(first + kSearchWindow - 1, messageCount_)) + ' ');
    QStringList messages;
    for (qint64 uid : uids)
        messages << QString::number(uid);
    return messages;
}

QByteArray ImapStore::header(const QString& message)
{
    QByteArray header;
    bool overflow = false;
    const ImapSession::Response fetched =
        session().run("UID FETCH " + QByteArray::number(uidOf(message)) + " BODY.PEEK[HEADER]",
                      [&](const char* data, qint64 size) {
                          overflow = header.size() + size > kMaxHeaderBytes;
                          if (!overflow)
                              header.append(data, size);
                          return !overflow;
                      });
    if (overflow)
        throw MailError(MailErrorNumber::MessageBroken, u"メッセージのヘッダが長すぎます: UID "_s + message);
    if (!fetched.ok)
        throw MailError(MailErrorNumber::MessageUnreadable,
                        u"メッセージを読めません: UID "_s + message + u' ' + QString::fromUtf8(fetched.status));
    return header;
}

void ImapStore::fetchInto(const QString& message, const QByteArray& item, QIODevice& target, const QString& where)
{
    bool written = true;
    const ImapSession::Response fetched =
        session().run("UID FETCH " + QByteArray::number(uidOf(message)) + ' ' + item, [&](const char* data, qint64 size) {
            written = target.write(data, size) == size;
            return written;
        });
    if (!written)
        throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + where);
    if (!fetched.ok)
        throw MailError(MailErrorNumber::MessageUnreadable,
                        u"メッセージを読めません: UID "_s + message + u' ' + QString::fromUtf8(fetched.status));
}

MessageFile ImapStore::content(const QString& message, const QString& workFolder)
{
    MessageFile file;
    file.download = std::make_unique<QTemporaryFile>(QDir(workFolder).filePath(u".mail-XXXXXX"_s));
    if (!file.download->open())
        throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + workFolder);
    fetchInto(message, "BODY.PEEK[]", *file.download, workFolder);
    if (!file.download->flush())
        throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + workFolder);
    file.download->close();
    file.path = file.download->fileName();
    return file;
}

UnencodedParts ImapStore::unencodedParts() const
{
    return binary_ ? UnencodedParts::FetchedApart : UnencodedParts::Changed;
}

void ImapStore::fetchPart(const QString& message, const QByteArray& section, QIODevice& target)
{
    if (!binary_)
        return MailStore::fetchPart(message, section, target);
    fetchInto(message, "BINARY.PEEK[" + section + ']', target, u"UID "_s + message);
}

void ImapStore::store(const QString& message, const QByteArray& flags, MailErrorNumber failure, const QString& what)
{
    const ImapSession::Response stored =
        session().run("UID STORE " + QByteArray::number(uidOf(message)) + " +FLAGS.SILENT (" + flags + ')');
    if (!stored.ok)
        throw MailError(failure, what + u"UID "_s + message + u' ' + QString::fromUtf8(stored.status));
}

void ImapStore::markRead(const QString& claimed)
{
    store(claimed, "\\Seen", MailErrorNumber::MarkFailed, u"メッセージを既読にできません: "_s);
}

void ImapStore::reject(const QString& claimed)
{
    store(claimed, kRejected, MailErrorNumber::GiveBackFailed, u"メッセージに印を付けられません: "_s);
}

void ImapStore::signOff()
{
    if (session_)
        session_->logout();
    session_.reset();
}

}  // namespace edi
