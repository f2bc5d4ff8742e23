#pragma once

#include "app/MessageSink.h"

#include <QString>

class QWidget;

namespace edi {

// Messages as message boxes, for the windows.
class WindowMessageSink final : public MessageSink {
public:
    explicit WindowMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // A message with an OK button; the detail stays out of the box.
    void showMessage(const QString& text, const QString& detail = {}) override;

private:
    QWidget* parent_;
};

// A warning box with Yes and No; true for Yes.
bool askYesNo(QWidget* parent, const QString& question);
// A warning box with an OK button.
void warn(QWidget* parent, const QString& message);

// The caption every message box of the system carries.
QString messageCaption();

}  // namespace edi
