#pragma once

#include <QString>
#include <memory>
#include <stdexcept>

namespace edi {

class Database;

// What a lock guards.
enum class LockScope {
    Centre = 1,     // the receptions of one centre: one job at a time, whichever process runs it
    Scheduler = 2,  // the scheduler of one machine name: one at a time on a database
};

// A lock this process holds until the object goes. A process that ends, however it ends, loses
// its locks by itself.
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

// A lock that could not even be tried: the database is gone, the lock folder cannot be written.
class LockError : public std::runtime_error {
public:
    explicit LockError(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// Locks that every process working on one database sees. On a PostgreSQL server (directly, or
// through an ODBC data source that reaches one) they are session advisory locks on the caller's
// connection, so they hold across workstations. Elsewhere they are file locks (flock) on a file
// per lock in a folder "edi-auto-locks" beside the SQLite database file, or in the folder of the
// configuration file: those hold among the processes of one machine.
class ExclusiveLocks {
public:
    virtual ~ExclusiveLocks() = default;

    // The lock, or null when another process (or another connection of this process) holds it.
    // Throws LockError when it cannot be tried.
    virtual std::unique_ptr<HeldLock> tryLock(LockScope scope, const QString& key) = 0;

    // The locks of the processes that share `database`; advisory locks use its connection, which
    // must outlive them.
    static std::unique_ptr<ExclusiveLocks> forDatabase(Database& database);
};

}  // namespace edi
