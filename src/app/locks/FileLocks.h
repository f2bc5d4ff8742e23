#pragma once

#include "app/locks/ExclusiveLocks.h"

namespace edi {

// File locks (flock) on a file per lock in a folder, created when missing: "centre-KEY.lock" and
// "scheduler-KEY.lock", the key percent-encoded. A lock belongs to its open file, so two users
// in one process exclude each other as two processes do; the file is never inherited by the
// programs a job starts. The files stay: removing one could part two lockers.
class FileLocks final : public ExclusiveLocks {
public:
    explicit FileLocks(QString folder) : folder_(std::move(folder)) {}

    std::unique_ptr<HeldLock> tryLock(LockScope scope, const QString& key) override;

    // The lock file of a scope and key.
    QString lockFile(LockScope scope, const QString& key) const;

private:
    QString folder_;
};

}  // namespace edi
