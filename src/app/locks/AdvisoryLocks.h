#pragma once

#include "app/locks/ExclusiveLocks.h"

namespace edi {

// PostgreSQL's session advisory locks, keyed by the scope and a hash of the key, on one
// connection. The server releases them when the connection ends; the same connection may take
// a lock it holds again, so each user of a lock needs a connection of its own.
class AdvisoryLocks final : public ExclusiveLocks {
public:
    explicit AdvisoryLocks(Database& database) : database_(database) {}

    std::unique_ptr<HeldLock> tryLock(LockScope scope, const QString& key) override;

    // The two 32-bit numbers that name a lock: the scope under the system's own prefix, so that
    // other programs' advisory locks on the server stay apart, and the key's FNV-1a hash.
    static std::pair<qint32, qint32> lockNumbers(LockScope scope, const QString& key);

private:
    Database& database_;
};

}  // namespace edi
