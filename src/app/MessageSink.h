#pragma once

#include <QString>

namespace edi {

// Where the operator's messages go: message boxes in the window, log lines without one.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // A message with an OK button. detail says why, for the log; a window does not show it.
    virtual void showMessage(const QString& text, const QString& detail = {}) = 0;
};

}  // namespace edi
