#pragma once

#include <QString>
#include <stdexcept>

class QSqlError;

namespace edi {

// A failed connection or statement. Steps catch it at their edge and turn it into their result
// code or message; nothing above a step sees it.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& message);
    DatabaseError(const QString& context, const QSqlError& error);

    const QString& message() const { return message_; }

private:
    QString message_;
};

}  // namespace edi
