#pragma once

#include "app/MessageSink.h"

#include <QDateTime>
#include <QString>

namespace edi {

class Clock;

// One line per event: local time "yyyy/mm/dd hh:nn:ss", the screen ID or component, the text.
QString consoleLine(const QDateTime& when, const QString& component, const QString& text);

// Writes text to standard output (data) or standard error (messages) in the character set of
// the user's locale (UTF-8, or for example EUC-JP or Shift-JIS on an older Japanese terminal).
void writeStandardOutput(const QString& text);
void writeStandardError(const QString& text);
// Data for scripts (CSV, JSON) on standard output in UTF-8, whatever the terminal's encoding.
void writeStandardOutputUtf8(const QString& text);

// How much a log line matters, as the journal reads it (sd-daemon's prefixes). Detail lines are
// written only in the verbose log.
enum class LogPriority { Error = 3, Warning = 4, Info = 6, Detail = 7 };

// One log line on standard error: consoleLine's form on a terminal or in a file; under the
// journal (JOURNAL_STREAM names standard error) the priority prefix "<N>" instead of the time,
// which the journal records itself.
void writeLogLine(LogPriority priority, const QDateTime& when, const QString& component, const QString& text);
// The verbose log (--verbose) writes detail lines too; set once at start.
void setVerboseLog(bool verbose);

// Messages as log lines on standard error, the detail after the fixed text.
class ConsoleMessageSink final : public MessageSink {
public:
    ConsoleMessageSink(QString component, const Clock& clock);
    void showMessage(const QString& text, const QString& detail = {}) override;

private:
    QString component_;
    const Clock& clock_;
};

}  // namespace edi
