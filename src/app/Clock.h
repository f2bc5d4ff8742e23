#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <memory>

namespace edi {

// Without TZ in the environment the C library looks at /etc/localtime again at every conversion of
// a local time, a system call each: a page of the history converts thousands. Named in TZ, the
// file is read once; a time zone changed while the program runs applies from its next start.
// Leaves a TZ that is set alone.
void readLocalTimeZoneOnce();

// Every read of "now" and "today" goes through a clock, so tests can set the time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
    // Milliseconds of a clock that only moves forward and stands still while the machine sleeps.
    // When now() moves by more than it between two readings, the wall clock was set or the
    // machine slept.
    virtual qint64 steadyMsecs() const = 0;
    // How many milliseconds a timer waits for `msecs` of this clock's time.
    virtual int timerInterval(int msecs) const { return msecs; }
};

// Local time of the machine.
class SystemClock final : public Clock {
public:
    SystemClock() { steady_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 steadyMsecs() const override { return steady_.elapsed(); }

private:
    QElapsedTimer steady_;
};

// A clock that shows the time it was set to, moved on by hand. Safe to read from a job
// thread while the test thread moves it. Setting it moves its steady clock alike; jump() moves
// the wall clock alone, as a clock set by hand or a machine waking from sleep does.
class ManualClock final : public Clock {
public:
    explicit ManualClock(const QDateTime& start) : msecs_(start.toMSecsSinceEpoch()) {}
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(msecs_.load()); }
    qint64 steadyMsecs() const override { return steady_.load(); }
    void set(const QDateTime& time)
    {
        const qint64 msecs = time.toMSecsSinceEpoch();
        steady_.fetch_add(msecs - msecs_.exchange(msecs));
    }
    void advanceSeconds(qint64 seconds)
    {
        msecs_.fetch_add(seconds * 1000);
        steady_.fetch_add(seconds * 1000);
    }
    void jump(qint64 seconds) { msecs_.fetch_add(seconds * 1000); }

private:
    std::atomic<qint64> msecs_;
    std::atomic<qint64> steady_{0};
};

// A clock that starts at a given moment and runs `speed` times as fast as the machine's, for
// long runs of the scheduler in little time; its timers wait correspondingly less.
class AcceleratedClock final : public Clock {
public:
    AcceleratedClock(const QDateTime& start, int speed) : start_(start), speed_(speed) { steady_.start(); }
    QDateTime now() const override { return start_.addMSecs(steadyMsecs()); }
    qint64 steadyMsecs() const override { return steady_.elapsed() * speed_; }
    int timerInterval(int msecs) const override { return std::max(1, msecs / speed_); }

private:
    QDateTime start_;
    int speed_;
    QElapsedTimer steady_;
};

// The scheduler's clock: the machine's, or for test runs an accelerated one when the environment
// sets EDI_CLOCK_START (an ISO date and time) and EDI_CLOCK_SPEED (a factor, default 1).
std::unique_ptr<Clock> programClock();
// Says which clock programClock chose when it is not the machine's; empty otherwise.
QString programClockNote(const Clock& clock);

}  // namespace edi
