#pragma once

#include <QString>

namespace edi {

class Clock;

// What the mail transport tells its window, MAILTX01: the list of progress lines is cleared and
// the window shown when a mail job starts, a line is added as each step completes, an error of
// the sign-on, the reception or the sign-off is shown as a message ("Error <number>: <text>"),
// and the window is closed when the job ends, whatever its outcome. Called on the job's thread;
// a window hands the calls over to its own thread.
class MailProgress {
public:
    virtual ~MailProgress() = default;
    virtual void started() = 0;
    virtual void line(const QString& text) = 0;
    virtual void error(const QString& message) = 0;
    virtual void finished() = 0;
    // A line for the administrator's log, too many for the window: each message passed over and
    // why, a setting that was cut. Written to standard error by default.
    virtual void detail(const QString& text);
};

// Without a window: every line and message is a log line on standard error,
// "yyyy/mm/dd hh:nn:ss MAILTX01 <text>".
class ConsoleMailProgress final : public MailProgress {
public:
    explicit ConsoleMailProgress(const Clock& clock) : clock_(clock) {}
    void started() override {}
    void line(const QString& text) override;
    void error(const QString& message) override;
    void finished() override {}
    void detail(const QString& text) override { line(text); }

private:
    const Clock& clock_;
};

}  // namespace edi
