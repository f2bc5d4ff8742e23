#pragma once

#include "app/ConsoleOutput.h"
#include "app/MessageSink.h"

#include <QString>

class QWidget;

namespace edi {

class Clock;

// The fatal messages of the window program's start-up as message boxes. Each is also written
// to standard error as the headless program logs it, with its detail: the box shows only the
// fixed text, and the reason must not be lost.
class WindowMessageSink final : public MessageSink {
public:
    explicit WindowMessageSink(const Clock& clock, QWidget* parent = nullptr);
    void setParent(QWidget* parent) { parent_ = parent; }
    // The log line first, so the reason is out even while the box waits; then the box with an
    // OK button, the detail kept out of it.
    void showMessage(const QString& text, const QString& detail = {}) override;

private:
    ConsoleMessageSink console_;
    QWidget* parent_;
};

// A warning box with Yes and No; true for Yes.
bool askYesNo(QWidget* parent, const QString& question);
// A warning box with an OK button.
void warn(QWidget* parent, const QString& message);

// The caption every message box of the system carries.
QString messageCaption();

}  // namespace edi
