#pragma once

#include <QString>

// The four-digit codes by which steps report their outcome; the step-specific failure codes
// stand beside the step that gives them.
namespace edi::ResultCode {

inline const QString ok = QStringLiteral("0000");
inline const QString failed = QStringLiteral("9999");

}  // namespace edi::ResultCode
