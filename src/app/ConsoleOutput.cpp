#include "app/ConsoleOutput.h"

#include "app/Clock.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString consoleLine(const QDateTime& when, const QString& component, const QString& text)
{
    return when.toString(u"yyyy/MM/dd HH:mm:ss"_s) + u' ' + component + u' ' + text;
}

namespace {

// The character set of the user's locale, read from the environment whatever the program set.
QByteArray terminalCodeset()
{
    const locale_t locale = newlocale(LC_CTYPE_MASK, "", nullptr);
    if (locale == nullptr)
        return "UTF-8";
    const QByteArray codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return codeset;
}

// A converter from UTF-8 to the terminal's character set; none when that is UTF-8 already or
// when the locale names nothing but ASCII (a bare C locale), where UTF-8 loses least.
iconv_t terminalConverter()
{
    const QByteArray codeset = terminalCodeset();
    if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968" || codeset.isEmpty())
        return reinterpret_cast<iconv_t>(-1);
    return iconv_open((codeset + "//TRANSLIT").constData(), "UTF-8");
}

size_t utf8SequenceLength(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

QByteArray inTerminalEncoding(const QString& text)
{
    static const iconv_t converter = terminalConverter();
    QByteArray utf8 = text.toUtf8();
    if (converter == reinterpret_cast<iconv_t>(-1))
        return utf8;
    QByteArray out(utf8.size() * 2 + 16, Qt::Uninitialized);
    char* source = utf8.data();
    size_t sourceLeft = size_t(utf8.size());
    char* target = out.data();
    size_t targetLeft = size_t(out.size());
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    while (sourceLeft > 0 && iconv(converter, &source, &sourceLeft, &target, &targetLeft) == size_t(-1)) {
        if (errno != EILSEQ || targetLeft == 0)
            break;
        // A character the terminal's set lacks: a '?' in its place, and the conversion goes on.
        const size_t skipped = std::min(sourceLeft, utf8SequenceLength(static_cast<unsigned char>(*source)));
        source += skipped;
        sourceLeft -= skipped;
        *target++ = '?';
        --targetLeft;
    }
    out.truncate(target - out.data());
    return out;
}

}  // namespace

void writeStandardOutput(const QString& text)
{
    std::fputs(inTerminalEncoding(text).constData(), stdout);
    std::fflush(stdout);
}

void writeStandardError(const QString& text)
{
    std::fputs(inTerminalEncoding(text).constData(), stderr);
}

void writeStandardOutputUtf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

ConsoleMessageSink::ConsoleMessageSink(QString component, const Clock& clock)
    : component_(std::move(component))
    , clock_(clock)
{
}

void ConsoleMessageSink::showMessage(const QString& text, const QString& detail)
{
    const QString message = detail.isEmpty() ? text : text + u" ("_s + detail + u')';
    writeLogLine(LogPriority::Error, clock_.now(), component_, message);
}

namespace {

std::atomic<bool> verboseLog{false};

// JOURNAL_STREAM holds "device:inode" of the stream the journal reads: standard error goes to
// the journal only when it is that stream (a child's redirected standard error is not).
bool standardErrorIsJournal()
{
    const QStringList parts = qEnvironmentVariable("JOURNAL_STREAM").split(u':');
    struct stat status {};
    if (parts.size() != 2 || fstat(STDERR_FILENO, &status) != 0)
        return false;
    return parts[0] == QString::number(status.st_dev) && parts[1] == QString::number(status.st_ino);
}

}  // namespace

void setVerboseLog(bool verbose)
{
    verboseLog = verbose;
}

void writeLogLine(LogPriority priority, const QDateTime& when, const QString& component, const QString& text)
{
    if (priority == LogPriority::Detail && !verboseLog)
        return;
    static const bool journal = standardErrorIsJournal();
    if (journal)  // the journal stores UTF-8 whatever the service's locale
        std::fputs((u"<%1>"_s.arg(int(priority)) + component + u' ' + text + u'\n').toUtf8().constData(), stderr);
    else
        writeStandardError(consoleLine(when, component, text) + u'\n');
}

}  // namespace edi
