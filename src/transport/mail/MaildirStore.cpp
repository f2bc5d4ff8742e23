#include "transport/mail/MaildirStore.h"

#include "transport/mail/MailError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kInfo = u":2,"_s;

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
    // Names that begin with "." are not messages (the Maildir rules keep them for other uses),
    // nor is anything but a regular file: a link to a FIFO would block the reading.
    QStringList names;
    for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort)) {
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
            if (name.startsWith(u'.') || (subFolder == u"cur"_s && flagsOf(name).contains(u'S')))
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

void MaildirStore::markRead(const QString& message)
{
    const QString source = locate(message);
    const QString target = QDir(folder_).filePath(u"cur/"_s + readName(QFileInfo(source).fileName()));
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0)
        throw MailError(MailErrorNumber::MarkFailed, u"メッセージを既読にできません: "_s + message);
}

QString MaildirStore::flagsOf(const QString& name)
{
    const qsizetype info = name.lastIndexOf(kInfo);
    return info < 0 ? QString() : name.mid(info + kInfo.size());
}

QString MaildirStore::readName(const QString& name)
{
    QString flags = flagsOf(name);
    if (!flags.contains(u'S'))
        flags += u'S';
    std::sort(flags.begin(), flags.end());
    return uniquePart(name) + kInfo + flags;
}

}  // namespace edi
