#include "transport/mail/ImapStore.h"

#include "transport/mail/MailError.h"

#include <QDir>
#include <QFile>
#include <curl/curl.h>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// UIDs searched for or restored in one command, so a response line or a command stays short
// (curl refuses server lines of some hundred kilobytes).
constexpr qint64 kSearchWindow = 2000;
constexpr size_t kFlagBatch = 200;
// Messages left unread that are collected before their \Seen is taken away.
constexpr size_t kRestoreThreshold = 500;
// The keyword of a message that failed a reception: it waits for a person.
const QByteArray kRejected = "$EdiRejected";
// More messages than any mailbox the reception works through holds.
constexpr qint64 kMaxMessages = 10'000'000;

CURL* handle(void* curl) { return static_cast<CURL*>(curl); }

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QByteArray uidSet(std::set<qint64>::const_iterator from, std::set<qint64>::const_iterator to)
{
    QByteArray set;
    for (auto uid = from; uid != to; ++uid) {
        if (!set.isEmpty())
            set += ',';
        set += QByteArray::number(*uid);
    }
    return set;
}

qint64 uidOf(const QString& message)
{
    bool ok = false;
    const qint64 uid = message.toLongLong(&ok);
    if (!ok || uid <= 0)
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + message);
    return uid;
}

}  // namespace

// Where one request's data goes: a buffer with a limit, a file, and the server's response lines.
struct ImapStore::Transfer {
    QByteArray* buffer = nullptr;
    qint64 limit = 0;
    bool overflow = false;
    QFile* file = nullptr;
    bool writeFailed = false;
    QList<QByteArray>* lines = nullptr;

    static size_t body(char* data, size_t size, size_t count, void* user)
    {
        auto* transfer = static_cast<Transfer*>(user);
        const qint64 bytes = qint64(size * count);
        if (transfer->buffer) {
            if (transfer->buffer->size() + bytes > transfer->limit) {
                transfer->overflow = true;
                return 0;  // ends the transfer
            }
            transfer->buffer->append(data, bytes);
        } else if (transfer->file) {
            if (transfer->file->write(data, bytes) != bytes) {
                transfer->writeFailed = true;
                return 0;
            }
        }
        return size_t(bytes);
    }

    // The server's response lines, which curl hands over as headers.
    static size_t line(char* data, size_t size, size_t count, void* user)
    {
        auto* transfer = static_cast<Transfer*>(user);
        if (transfer->lines && transfer->lines->size() < 10000)
            transfer->lines->append(QByteArray(data, qsizetype(size * count)).trimmed());
        return size * count;
    }
};

ImapStore::ImapStore(QString url, QString user, QString password)
    : url_(folderUrl(url))
    , user_(user.toUtf8())
    , password_(password.toUtf8())
{
    initialiseCurl();
}

ImapStore::~ImapStore()
{
    if (!curl_)
        return;
    try {
        restoreUnread(fetched_, MailErrorNumber::SignOffFailed);
    } catch (const std::exception&) {
        // The server is gone; what it marked stays marked.
    }
    curl_easy_cleanup(handle(curl_));
}

QByteArray ImapStore::folderUrl(const QString& store)
{
    QString url = store.trimmed();
    const qsizetype scheme = url.indexOf(u"://"_s);
    const qsizetype pathStart = scheme < 0 ? -1 : url.indexOf(u'/', scheme + 3);
    while (url.endsWith(u'/') && (pathStart < 0 || url.size() - 1 > pathStart))
        url.chop(1);
    if (pathStart < 0 || url.size() - 1 <= pathStart) {
        if (!url.endsWith(u'/'))
            url += u'/';
        url += u"INBOX"_s;
    }
    return url.toUtf8();
}

int ImapStore::perform(const QByteArray& suffix, const QByteArray& command, Transfer& transfer, QString& error)
{
    CURL* curl = handle(curl_);
    char message[CURL_ERROR_SIZE] = {};
    const QByteArray url = url_ + suffix;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.isEmpty() ? nullptr : command.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Transfer::body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Transfer::line);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    error = QString::fromUtf8(message[0] ? message : curl_easy_strerror(code));
    return int(code);
}

void ImapStore::signOn()
{
    curl_ = curl_easy_init();
    if (!curl_)
        throw MailError(MailErrorNumber::ServerUnreachable, u"メールサーバに接続できません"_s);
    CURL* curl = handle(curl_);
    if (!user_.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERNAME, user_.constData());
    if (!password_.isEmpty())
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that stops sending is given up after two minutes; a slow large download is not.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 120L);

    // Sign-on selects the folder; its answer tells how many messages it holds.
    QList<QByteArray> lines;
    QByteArray ignored;
    Transfer transfer;
    transfer.buffer = &ignored;
    transfer.limit = kMaxHeaderBytes;
    transfer.lines = &lines;
    QString error;
    const int code = perform({}, "NOOP", transfer, error);
    if (code != CURLE_OK) {
        const bool refused = code == CURLE_LOGIN_DENIED || code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_QUOTE_ERROR;
        throw MailError(refused ? MailErrorNumber::SignOnRefused : MailErrorNumber::ServerUnreachable,
                        (refused ? u"ログオンできません: "_s : u"メールサーバに接続できません: "_s) + error);
    }
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 3 && words[0] == "*" && words[2].toUpper() == "EXISTS")
            messageCount_ = words[1].toLongLong();
    }
    // The count drives the search in windows: a server's count beyond any mailbox must not
    // keep the reception searching for ever.
    if (messageCount_ > kMaxMessages)
        throw MailError(MailErrorNumber::SearchFailed,
                        u"受信トレイを検索できません: %1 通のメッセージ"_s.arg(messageCount_));
}

QStringList ImapStore::unreadMessages()
{
    // The folder is searched in windows of message sequence numbers, which run without gaps
    // from 1 to the number of messages, so every answer stays short.
    std::set<qint64> uids;
    auto search = [&](const QByteArray& window) {
        QByteArray answer;
        Transfer transfer;
        transfer.buffer = &answer;
        transfer.limit = 64 * 1024 * 1024;
        QString error;
        if (perform({}, "UID SEARCH " + window + "UNSEEN UNDELETED UNKEYWORD " + kRejected, transfer, error) != CURLE_OK)
            throw MailError(MailErrorNumber::SearchFailed, u"受信トレイを検索できません: "_s + error);
        for (const QByteArray& line : answer.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() < 2 || words[0] != "*" || words[1].toUpper() != "SEARCH")
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
    const qint64 uid = uidOf(message);
    fetched_.insert(uid);
    QByteArray header;
    Transfer transfer;
    transfer.buffer = &header;
    transfer.limit = kMaxHeaderBytes;
    QString error;
    const int code = perform("/;UID=" + QByteArray::number(uid) + ";SECTION=HEADER", {}, transfer, error);
    if (transfer.overflow)
        throw MailError(MailErrorNumber::MessageBroken, u"メッセージのヘッダが長すぎます: UID "_s + message);
    if (code != CURLE_OK)
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: UID "_s + message + u" "_s + error);
    return header;
}

MessageFile ImapStore::content(const QString& message, const QString& workFolder)
{
    const qint64 uid = uidOf(message);
    fetched_.insert(uid);
    MessageFile file;
    file.download = std::make_unique<QTemporaryFile>(QDir(workFolder).filePath(u".mail-XXXXXX"_s));
    if (!file.download->open())
        throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + workFolder);
    Transfer transfer;
    transfer.file = file.download.get();
    QString error;
    const int code = perform("/;UID=" + QByteArray::number(uid), {}, transfer, error);
    const bool flushed = file.download->flush();
    if (transfer.writeFailed || !flushed)
        throw MailError(MailErrorNumber::StoreFailed, u"受信フォルダに書き込めません: "_s + workFolder);
    if (code != CURLE_OK)
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: UID "_s + message + u" "_s + error);
    file.download->close();
    file.path = file.download->fileName();
    return file;
}

void ImapStore::command(const QByteArray& text, MailErrorNumber failure, const QString& what)
{
    QByteArray ignored;
    Transfer transfer;
    transfer.buffer = &ignored;
    transfer.limit = kMaxHeaderBytes;
    QString error;
    if (perform({}, text, transfer, error) != CURLE_OK)
        throw MailError(failure, what + u" "_s + error);
}

void ImapStore::leaveUnread(const QString& message)
{
    toRestore_.insert(uidOf(message));
    if (toRestore_.size() >= kRestoreThreshold)
        restoreUnread(toRestore_, MailErrorNumber::UnreadNotRestored);
}

void ImapStore::markRead(const QString& message)
{
    const qint64 uid = uidOf(message);
    // Every other message looked at is made unread first: once this one is read and its
    // attachment is the job's file, nothing may be left that can still fail the reception.
    fetched_.erase(uid);
    toRestore_.erase(uid);
    try {
        restoreUnread(fetched_, MailErrorNumber::UnreadNotRestored);
        command("UID STORE " + QByteArray::number(uid) + " +FLAGS.SILENT (\\Seen)", MailErrorNumber::MarkFailed,
                u"メッセージを既読にできません: UID "_s + message);
    } catch (const MailError&) {
        fetched_.insert(uid);  // the fetch may have set \Seen: sign-off or the destructor takes it away
        throw;
    }
}

void ImapStore::reject(const QString& claimed)
{
    command("UID STORE " + QByteArray::number(uidOf(claimed)) + " +FLAGS.SILENT (" + kRejected + ")",
            MailErrorNumber::UnreadNotRestored, u"メッセージに印を付けられません: UID "_s + claimed);
    leaveUnread(claimed);
}

void ImapStore::restoreUnread(std::set<qint64>& pending, MailErrorNumber failure)
{
    while (!pending.empty()) {
        auto end = pending.begin();
        for (size_t n = 0; n < kFlagBatch && end != pending.end(); ++n)
            ++end;
        command("UID STORE " + uidSet(pending.begin(), end) + " -FLAGS.SILENT (\\Seen)", failure,
                u"メッセージを未読に戻せません:"_s);
        std::set<qint64> done(pending.begin(), end);
        for (qint64 uid : done) {
            fetched_.erase(uid);
            toRestore_.erase(uid);
        }
    }
}

void ImapStore::signOff()
{
    if (!curl_)
        return;
    restoreUnread(fetched_, MailErrorNumber::SignOffFailed);
    curl_easy_cleanup(handle(curl_));  // sends LOGOUT
    curl_ = nullptr;
}

}  // namespace edi
