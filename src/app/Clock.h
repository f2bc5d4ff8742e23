#pragma once

#include <QDateTime>
#include <atomic>

namespace edi {

// Every read of "now" and "today" goes through a clock, so tests can set the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

// Local time of the machine.
class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// A clock that shows the time it was set to, moved on by hand. Safe to read from a job
// thread while the test thread moves it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(const QDateTime& start) : msecs_(start.toMSecsSinceEpoch()) {}
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(msecs_.load()); }
    void set(const QDateTime& time) { msecs_.store(time.toMSecsSinceEpoch()); }
    void advanceSeconds(qint64 seconds) { msecs_.fetch_add(seconds * 1000); }

private:
    std::atomic<qint64> msecs_;
};

}  // namespace edi
