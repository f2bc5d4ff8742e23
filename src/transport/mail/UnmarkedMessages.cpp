#include "transport/mail/UnmarkedMessages.h"

#include "transport/mail/MailError.h"
#include "transport/mail/MailStore.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Long enough for another reception to write the file; a lock left by a process that ended is
// taken over after it.
constexpr int kLockWaitMilliseconds = 10000;

struct Entry {
    QString mailbox;
    QString message;
    QString described;
};

QString oneLine(QString text)
{
    return text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

std::vector<Entry> readEntries(const QString& path)
{
    std::vector<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(u'\t');
        if (fields.size() == 3)
            entries.push_back({fields[0], fields[1], fields[2]});
    }
    return entries;
}

// The whole list in place of the old one, on disk before the call returns; no file for none.
bool writeEntries(const QString& path, const std::vector<Entry>& entries)
{
    if (entries.empty())
        return !QFile::exists(path) || QFile::remove(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Entry& entry : entries)
        file.write((entry.mailbox + u'\t' + entry.message + u'\t' + entry.described + u'\n').toUtf8());
    return file.commit();
}

// The mailbox without the generation of its message names (";UIDVALIDITY=...").
QString withoutGeneration(const QString& mailbox)
{
    return mailbox.section(u";UIDVALIDITY="_s, 0, 0);
}

}  // namespace

UnmarkedMessages::UnmarkedMessages(const QString& receivedFolder)
    : path_(QDir(receivedFolder).filePath(u".unmarked-messages"_s))
{
}

bool UnmarkedMessages::add(const QString& mailbox, const QString& message, const QString& described)
{
    QLockFile lock(path_ + u".lock"_s);
    if (!lock.tryLock(kLockWaitMilliseconds))
        return false;
    std::vector<Entry> entries = readEntries(path_);
    entries.push_back({oneLine(mailbox), oneLine(message), oneLine(described)});
    return writeEntries(path_, entries);
}

UnmarkedMessages::Marked UnmarkedMessages::markRead(MailStore& store)
{
    Marked marked;
    if (!QFile::exists(path_))
        return marked;
    QLockFile lock(path_ + u".lock"_s);
    const std::vector<Entry> entries = lock.tryLock(kLockWaitMilliseconds) ? readEntries(path_) : std::vector<Entry>{};
    if (!lock.isLocked()) {
        marked.lines << u"既読にできなかったメールの記録を読めません: "_s + path_;
        return marked;
    }
    const QString mailbox = store.mailboxName();
    std::vector<Entry> kept;
    for (const Entry& entry : entries) {
        if (entry.mailbox != mailbox) {
            if (withoutGeneration(entry.mailbox) == withoutGeneration(mailbox))
                marked.lines << u"メールフォルダの UIDVALIDITY が変わったため、既読にできなかったメールを探せません: "_s + entry.described;
            else
                kept.push_back(entry);  // another mailbox's, for when it is used again
            continue;
        }
        try {
            store.markRead(entry.message);
            marked.lines << u"前回既読にできなかった受信済みのメールを既読にしました: "_s + entry.described;
        } catch (const MailError& error) {
            marked.lines << u"受信済みのメールをまだ既読にできません: "_s + error.message() + u": "_s + entry.described;
            marked.stillUnread.insert(entry.message);
            kept.push_back(entry);
        }
    }
    if (!writeEntries(path_, kept))
        marked.lines << u"既読にできなかったメールの記録を書き換えられません: "_s + path_;
    return marked;
}

}  // namespace edi
