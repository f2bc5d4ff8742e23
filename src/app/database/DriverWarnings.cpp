#include "app/database/DriverWarnings.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::atomic<QtMessageHandler> nextHandler{nullptr};

void passAllButStatementFailures(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(u"QODBCResult::exec: Unable to execute statement"_s))
        return;
    if (const QtMessageHandler next = nextHandler.load())
        next(type, context, message);
}

}  // namespace

void leaveStatementFailuresToTheirCallers()
{
    static std::once_flag installed;
    std::call_once(installed, [] { nextHandler = qInstallMessageHandler(&passAllButStatementFailures); });
}

}  // namespace edi
