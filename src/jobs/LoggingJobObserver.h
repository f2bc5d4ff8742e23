#pragma once

#include "jobs/JobObserver.h"

namespace edi {

class Clock;

// A job's progress as log lines on standard error: time, the centre, the grid's text or the
// row's state.
class LoggingJobObserver final : public JobObserver {
public:
    LoggingJobObserver(QString centreCode, const Clock& clock) : centreCode_(std::move(centreCode)), clock_(clock) {}

    void statusText(StatusColumn column, const QString& text) override;
    void rowState(RowState state) override;
    void note(const QString& text) override;

private:
    void line(const QString& text);

    QString centreCode_;
    const Clock& clock_;
};

}  // namespace edi
