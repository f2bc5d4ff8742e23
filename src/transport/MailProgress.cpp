#include "transport/MailProgress.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

void MailProgress::detail(const QString& text)
{
    writeLogLine(LogPriority::Detail, QDateTime::currentDateTime(), u"MAILTX01"_s, text);
}

void ConsoleMailProgress::line(const QString& text)
{
    writeLogLine(LogPriority::Detail, clock_.now(), u"MAILTX01"_s, text);
}

// The job's report tells the failure again, with its codes.
void ConsoleMailProgress::error(const QString& message)
{
    writeLogLine(LogPriority::Warning, clock_.now(), u"MAILTX01"_s, message);
}

}  // namespace edi
