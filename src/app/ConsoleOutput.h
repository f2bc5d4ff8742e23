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
