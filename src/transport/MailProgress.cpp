#include "transport/MailProgress.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

void MailProgress::detail(const QString& text)
{
    writeStandardError(consoleLine(QDateTime::currentDateTime(), u"MAILTX01"_s, text) + u'\n');
}

void ConsoleMailProgress::line(const QString& text)
{
    writeStandardError(consoleLine(clock_.now(), u"MAILTX01"_s, text) + u'\n');
}

void ConsoleMailProgress::error(const QString& message)
{
    line(message);
}

}  // namespace edi
