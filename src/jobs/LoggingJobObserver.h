#pragma once

#include "jobs/JobObserver.h"

#include <QStringList>

namespace edi {

class Clock;

// A job's progress as log lines on standard error. The grid's texts and the row's states are
// detail lines (the verbose log); at the job's end its report, one line per step with the codes,
// counts and files, followed by what else it noted (see logJobOutcome).
class LoggingJobObserver final : public JobObserver {
public:
    LoggingJobObserver(QString centreCode, const Clock& clock) : centreCode_(std::move(centreCode)), clock_(clock) {}

    void serialOpened(qint32 serial) override { serial_ = serial; }
    void statusText(StatusColumn column, const QString& text) override;
    void rowState(RowState state) override;
    void note(const QString& text) override;
    void report(const QStringList& lines) override { report_ = lines; }

private:
    void detail(const QString& text);

    QString centreCode_;
    const Clock& clock_;
    qint32 serial_ = 0;
    QStringList report_;
    QStringList notes_;
};

// The end of a job in the log: the report's first line (serial and outcome; an error for a failed
// job), each step's line with the serial in front, then the notes the report does not tell.
void logJobOutcome(const Clock& clock, const QString& centreCode, qint32 serial, const QStringList& report,
                   const QStringList& notes, bool failed);

}  // namespace edi
