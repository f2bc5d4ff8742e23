#include "app/locks/AdvisoryLocks.h"

#include "app/database/Database.h"
#include "app/database/DatabaseError.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

class AdvisoryLock final : public HeldLock {
public:
    AdvisoryLock(Database& database, std::pair<qint32, qint32> numbers) : database_(database), numbers_(numbers) {}
    ~AdvisoryLock() override
    {
        try {
            database_.query({u"SELECT pg_advisory_unlock(CAST(? AS INTEGER), CAST(? AS INTEGER))"_s,
                             {numbers_.first, numbers_.second}});
        } catch (const DatabaseError&) {
            // The connection is gone, and the server released the lock with it.
        }
    }

private:
    Database& database_;
    std::pair<qint32, qint32> numbers_;
};

}  // namespace

std::pair<qint32, qint32> AdvisoryLocks::lockNumbers(LockScope scope, const QString& key)
{
    quint32 hash = 2166136261u;
    for (const char byte : key.toUtf8()) {
        hash ^= quint8(byte);
        hash *= 16777619u;
    }
    constexpr quint32 kPrefix = 0x45444900u;  // "EDI" and the scope
    return {qint32(kPrefix | quint32(scope)), qint32(hash)};
}

std::unique_ptr<HeldLock> AdvisoryLocks::tryLock(LockScope scope, const QString& key)
{
    const std::pair<qint32, qint32> numbers = lockNumbers(scope, key);
    try {
        // An integer rather than a boolean, which some ODBC drivers hand over as text.
        const ResultSet taken = database_.query(
            {u"SELECT CASE WHEN pg_try_advisory_lock(CAST(? AS INTEGER), CAST(? AS INTEGER)) THEN 1 ELSE 0 END"_s,
             {numbers.first, numbers.second}});
        if (taken.atEnd() || taken.value(0).toInt() != 1)
            return nullptr;
    } catch (const DatabaseError& error) {
        throw LockError(u"ロックを取得できません: "_s + error.message());
    }
    return std::make_unique<AdvisoryLock>(database_, numbers);
}

}  // namespace edi
