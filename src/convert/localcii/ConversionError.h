#pragma once

#include <QString>
#include <stdexcept>

namespace edi {

// A file that cannot be read, written or created during a conversion. The converter's entry
// turns it into the failure code.
class ConversionIoError : public std::runtime_error {
public:
    explicit ConversionIoError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

}  // namespace edi
