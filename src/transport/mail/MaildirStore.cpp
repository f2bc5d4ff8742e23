#include "transport/mail/MaildirStore.h"

#include "app/text/TextHelpers.h"
#include "transport/mail/MailError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kInfo = u":2,"_s;
// What ends the private name of a claimed message, before the serial.
const QString kClaim = u".claim-"_s;

// The unique part of a name: what comes before the ":2," information.
QString uniquePart(const QString& name)
{
    const qsizetype colon = name.indexOf(u':');
    return colon < 0 ? name : name.left(colon);
}

// The delivery time at the head of a unique name ("1700000000.M1P2.host"); 0 without one.
qint64 deliveryTime(const QString& name)
{
    qsizetype digits = 0;
    while (digits < name.size() && digits < 18 && name[digits].isDigit())
        ++digits;
    return digits == 0 ? 0 : name.left(digits).toLongLong();
}

QStringList messageNames(const QDir& folder)
{
    // Every regular file, claims (names that begin with ".") included; anything else is no
    // message: a link to a FIFO would block the reading.
    QStringList names;
    for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort)) {
        if (entry.isFile())
            names << entry.fileName();
    }
    return names;
}

}  // namespace

MaildirStore::MaildirStore(QString folder)
    : folder_(std::move(folder))
{
}

void MaildirStore::signOn()
{
    const QDir root(folder_);
    for (const char* sub : {"cur", "new", "tmp"}) {
        if (!QFileInfo(root.filePath(QString::fromLatin1(sub))).isDir())
            throw MailError(MailErrorNumber::StoreMissing, u"メールフォルダがありません: "_s + folder_);
    }
}

QStringList MaildirStore::unreadMessages()
{
    const QDir root(folder_);
    struct Entry {
        qint64 time;
        QString unique;
        QString message;
    };
    std::vector<Entry> entries;
    for (const char* sub : {"new", "cur"}) {
        const QString subFolder = QString::fromLatin1(sub);
        const QDir folder(root.filePath(subFolder));
        if (!folder.isReadable())
            throw MailError(MailErrorNumber::SearchFailed, u"メールフォルダを読めません: "_s + folder.path());
        for (const QString& name : messageNames(folder)) {
            const QString flags = subFolder == u"cur"_s ? flagsOf(name) : QString();
            if (name.startsWith(u'.') || flags.contains(u'S') || flags.contains(u'F') || flags.contains(u'T'))
                continue;
            entries.push_back({deliveryTime(name), uniquePart(name), subFolder + u'/' + name});
        }
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.time != b.time ? a.time < b.time : a.unique < b.unique;
    });
    QStringList messages;
    messages.reserve(qsizetype(entries.size()));
    for (Entry& entry : entries)
        messages << std::move(entry.message);
    return messages;
}

QString MaildirStore::locate(const QString& message) const
{
    const QString path = QDir(folder_).filePath(message);
    if (QFileInfo::exists(path))
        return path;
    const QString unique = uniquePart(message.mid(message.indexOf(u'/') + 1));
    const QDir cur(QDir(folder_).filePath(u"cur"_s));
    for (const QString& name : cur.entryList({unique + u'*'}, QDir::Files))
        if (uniquePart(name) == unique)
            return cur.filePath(name);
    return path;
}

QByteArray MaildirStore::header(const QString& message)
{
    QFile file(locate(message));
    if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly))
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + message);
    QByteArray header;
    constexpr qint64 kChunk = 64 * 1024;
    while (header.size() <= kMaxHeaderBytes) {
        const qsizetype searchFrom = std::max<qsizetype>(0, header.size() - 3);
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + message);
            return header;  // a message without a body is all header
        }
        header += chunk;
        if (header.startsWith('\n') || header.startsWith("\r\n"))
            return header.left(header.startsWith('\n') ? 1 : 2);
        for (const char* end : {"\n\n", "\n\r\n"}) {
            const qsizetype at = header.indexOf(end, searchFrom);
            if (at >= 0 && at + qsizetype(qstrlen(end)) <= kMaxHeaderBytes) {
                header.truncate(at + qsizetype(qstrlen(end)));
                return header;
            }
        }
    }
    throw MailError(MailErrorNumber::MessageBroken, u"メッセージのヘッダが長すぎます: "_s + message);
}

MessageFile MaildirStore::content(const QString& message, const QString&)
{
    MessageFile file;
    file.path = locate(message);
    if (!QFileInfo(file.path).isFile() || !QFileInfo(file.path).isReadable())
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを読めません: "_s + message);
    return file;
}

std::optional<QString> MaildirStore::claim(const QString& message, qint32 serial)
{
    const QString source = locate(message);
    const QFileInfo file(source);
    const QString claimed = file.dir().dirName() + u"/."_s + file.fileName() + kClaim + serialText(serial);
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(QDir(folder_).filePath(claimed)).constData()) != 0) {
        if (errno == ENOENT)
            return std::nullopt;  // another reception took it first
        throw MailError(MailErrorNumber::MessageUnreadable, u"メッセージを取り込めません: "_s + message);
    }
    return claimed;
}

void MaildirStore::settle(const QString& claimed, std::optional<QChar> flag, MailErrorNumber failure, const QString& what)
{
    const qsizetype slash = claimed.indexOf(u'/');
    const qsizetype suffix = claimed.lastIndexOf(kClaim);
    if (slash < 0 || claimed.mid(slash + 1, 1) != u"."_s || suffix < slash)
        throw MailError(failure, what + claimed);
    const QString name = claimed.mid(slash + 2, suffix - slash - 2);
    const QString target = flag ? u"cur/"_s + nameWithFlag(name, *flag) : claimed.left(slash + 1) + name;
    const QDir root(folder_);
    if (std::rename(QFile::encodeName(root.filePath(claimed)).constData(), QFile::encodeName(root.filePath(target)).constData()) != 0)
        throw MailError(failure, what + claimed);
}

void MaildirStore::markRead(const QString& claimed)
{
    settle(claimed, u'S', MailErrorNumber::MarkFailed, u"メッセージを既読にできません: "_s);
}

void MaildirStore::giveBack(const QString& claimed)
{
    settle(claimed, std::nullopt, MailErrorNumber::GiveBackFailed, u"メッセージを元に戻せません: "_s);
}

void MaildirStore::reject(const QString& claimed)
{
    settle(claimed, u'F', MailErrorNumber::GiveBackFailed, u"メッセージに印を付けられません: "_s);
}

QStringList MaildirStore::claimedBy(qint32 serial)
{
    const QString ending = kClaim + serialText(serial);
    QStringList claims;
    for (const char* sub : {"new", "cur"}) {
        const QString subFolder = QString::fromLatin1(sub);
        for (const QString& name : messageNames(QDir(QDir(folder_).filePath(subFolder))))
            if (name.startsWith(u'.') && name.endsWith(ending))
                claims << subFolder + u'/' + name;
    }
    return claims;
}

QString MaildirStore::flagsOf(const QString& name)
{
    const qsizetype info = name.lastIndexOf(kInfo);
    return info < 0 ? QString() : name.mid(info + kInfo.size());
}

QString MaildirStore::nameWithFlag(const QString& name, QChar flag)
{
    QString flags = flagsOf(name);
    if (!flags.contains(flag))
        flags += flag;
    std::sort(flags.begin(), flags.end());
    return uniquePart(name) + kInfo + flags;
}

}  // namespace edi
