#include "app/ConsoleOutput.h"

#include "app/Clock.h"

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString consoleLine(const QDateTime& when, const QString& component, const QString& text)
{
    return when.toString(u"yyyy/MM/dd HH:mm:ss"_s) + u' ' + component + u' ' + text;
}

void writeStandardOutput(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void writeStandardError(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stderr);
}

ConsoleMessageSink::ConsoleMessageSink(QString component, const Clock& clock)
    : component_(std::move(component))
    , clock_(clock)
{
}

void ConsoleMessageSink::showMessage(const QString& text, const QString& detail)
{
    const QString message = detail.isEmpty() ? text : text + u" ("_s + detail + u')';
    writeStandardError(consoleLine(clock_.now(), component_, message) + u'\n');
}

}  // namespace edi
