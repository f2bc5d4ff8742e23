#include "app/database/Database.h"
#include "app/locks/AdvisoryLocks.h"
#include "app/locks/ExclusiveLocks.h"
#include "app/locks/FileLocks.h"
#include "support/TestDatabase.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using test::Backend;
using test::TestDatabase;

// Two processes' views of the same locks: two connections to one server, or two users of one
// lock folder.
class LocksTest : public ::testing::TestWithParam<Backend> {
protected:
    LocksTest()
        : database_(GetParam())
        , first_(database_.open())
        , second_(database_.open())
        , locks_(ExclusiveLocks::forDatabase(*first_))
        , others_(ExclusiveLocks::forDatabase(*second_))
    {
    }

    // A process of another program that takes the centre lock and keeps it until it is killed.
    // True once it holds the lock.
    bool holdInAnotherProcess(QProcess& holder, const QString& centre)
    {
        if (GetParam() == Backend::Sqlite) {
            const QString file = FileLocks(lockFolder()).lockFile(LockScope::Centre, centre);
            QDir().mkpath(lockFolder());
            holder.start(u"flock"_s, {u"--exclusive"_s, u"--close"_s, file, u"sleep"_s, u"60"_s});
        } else {
            // psql keeps its session, and the lock, while it waits for more input.
            // Advisory locks belong to a database: the one the connections use.
            const QString name = first_->query({u"SELECT current_database()"_s, {}}).value(0).toString();
            const auto [space, key] = AdvisoryLocks::lockNumbers(LockScope::Centre, centre);
            holder.start(u"psql"_s, {u"-h"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(test::testServerPort()), u"-U"_s,
                                     u"edi"_s, u"-d"_s, name, u"-qAt"_s});
            holder.write(u"SELECT pg_advisory_lock(%1, %2);\n"_s.arg(space).arg(key).toUtf8());
            holder.waitForBytesWritten();
        }
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (!others_->tryLock(LockScope::Centre, centre))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    QString lockFolder() const { return database_.folder() + u"/edi-auto-locks"_s; }

    TestDatabase database_;
    std::unique_ptr<Database> first_;
    std::unique_ptr<Database> second_;
    std::unique_ptr<ExclusiveLocks> locks_;
    std::unique_ptr<ExclusiveLocks> others_;
};

TEST_P(LocksTest, OneHolderAtATime)
{
    EXPECT_EQ(first_->isPostgreSqlServer(), GetParam() != Backend::Sqlite);  // through ODBC too
    std::unique_ptr<HeldLock> held = locks_->tryLock(LockScope::Centre, u"ZC01"_s);
    ASSERT_TRUE(held);
    EXPECT_FALSE(others_->tryLock(LockScope::Centre, u"ZC01"_s));
    // Other centres, and the scheduler lock of a machine named like the centre, are apart.
    EXPECT_TRUE(others_->tryLock(LockScope::Centre, u"ZC02"_s));
    EXPECT_TRUE(others_->tryLock(LockScope::Scheduler, u"ZC01"_s));
    // Keys that no file name could hold as they are.
    EXPECT_TRUE(locks_->tryLock(LockScope::Centre, u"../A B/北陸"_s));

    held.reset();
    EXPECT_TRUE(others_->tryLock(LockScope::Centre, u"ZC01"_s));
}

TEST_P(LocksTest, AProcessThatDiesLosesItsLock)
{
    QProcess holder;
    ASSERT_TRUE(holdInAnotherProcess(holder, u"WC01"_s));
    EXPECT_FALSE(locks_->tryLock(LockScope::Centre, u"WC01"_s));
    holder.kill();  // SIGKILL: no chance to let go of anything
    holder.waitForFinished();
    QDeadlineTimer deadline(10000);
    std::unique_ptr<HeldLock> taken;
    while (!taken && !deadline.hasExpired()) {
        taken = locks_->tryLock(LockScope::Centre, u"WC01"_s);
        QThread::msleep(taken ? 0 : 50);
    }
    EXPECT_TRUE(taken);
}

TEST(FileLocks, AFolderThatCannotBeMadeIsAnError)
{
    FileLocks locks(u"/proc/edi-auto-locks"_s);
    EXPECT_THROW(locks.tryLock(LockScope::Centre, u"ZC01"_s), LockError);
}

INSTANTIATE_TEST_SUITE_P(Backends, LocksTest,
                         ::testing::Values(Backend::Sqlite, Backend::PostgreSql, Backend::OdbcPostgreSql),
                         [](const auto& info) { return test::backendName(info.param); });

}  // namespace
}  // namespace edi
