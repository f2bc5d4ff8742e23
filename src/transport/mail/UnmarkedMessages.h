#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace edi {

class MailStore;

// Messages whose reception is recorded but that could not be marked read (the server refused the
// second connection or went away meanwhile). They are kept in a file of the received-files folder,
// which a restart does not lose, until a later session marks them read, so that no reception
// takes them a second time. Receptions of several centres may share the file: each change is made
// under a lock and written whole.
class UnmarkedMessages {
public:
    explicit UnmarkedMessages(const QString& receivedFolder);

    // Remembers a message of the mailbox (MailStore::mailboxName), told by its description.
    // False when the file cannot be written.
    bool add(const QString& mailbox, const QString& message, const QString& described);

    // What a session of the store does before it searches: marks the remembered messages of its
    // mailbox read and forgets them. A message of the same mailbox from before its names changed
    // meaning (another UIDVALIDITY) is forgotten: it cannot be found any more.
    struct Marked {
        QStringList lines;          // for the log: what was marked, what could not be
        QSet<QString> stillUnread;  // messages that could not be marked: no reception may take them
    };
    Marked markRead(MailStore& store);

private:
    QString path_;
};

}  // namespace edi
