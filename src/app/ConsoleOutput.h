#pragma once

#include "app/MessageSink.h"

#include <QDateTime>
#include <QString>

namespace edi {

class Clock;

// One line per event: local time "yyyy/mm/dd hh:nn:ss", the screen ID or component, the text.
QString consoleLine(const QDateTime& when, const QString& component, const QString& text);

// Writes UTF-8 text to standard output (data) or standard error (messages).
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
