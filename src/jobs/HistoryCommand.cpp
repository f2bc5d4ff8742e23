#include "jobs/HistoryCommand.h"

#include "app/Clock.h"
#include "app/ConsoleOutput.h"
#include "app/database/ConfiguredDatabase.h"
#include "app/database/DatabaseError.h"


using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

std::optional<QDate> dateNamed(const QString& text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}


}  // namespace

HistoryOptions parseHistoryOptions(const QStringList& arguments, const QDate& today)
{
    HistoryOptions options;
    std::optional<QDate> date, from, to;
    for (qsizetype i = 0; i < arguments.size() && options.error.isEmpty(); ++i) {
        const QString& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        auto takeDate = [&](std::optional<QDate>& into) {
            into = hasValue ? dateNamed(arguments[++i]) : std::nullopt;
            if (!into)
                options.error = argument + u" needs a date YYYY-MM-DD"_s;
        };
        if (argument == u"--date"_s) {
            takeDate(date);
        } else if (argument == u"--from"_s) {
            takeDate(from);
        } else if (argument == u"--to"_s) {
            takeDate(to);
        } else if (argument == u"--ini"_s && hasValue) {
            options.configPath = arguments[++i];
        } else if (argument == u"--centre"_s && hasValue) {
            options.filter.centreCode = arguments[++i];
        } else if (argument == u"--format"_s && hasValue) {
            const std::optional<HistoryFormat> format = historyFormatNamed(arguments[++i]);
            if (!format)
                options.error = u"--format is table, csv or json"_s;
            else
                options.format = *format;
        } else if (argument == u"--failed"_s) {
            options.filter.failedOnly = true;
        } else if (argument == u"--help"_s || argument == u"-h"_s) {
            options.help = true;
        } else {
            options.error = u"unknown or incomplete option "_s + argument;
        }
    }
    if (date && (from || to))
        options.error = u"--date or --from and --to, not both"_s;
    options.filter.from = date ? *date : from.value_or(to ? QDate(1900, 1, 1) : today);
    options.filter.to = date ? *date : to.value_or(today);
    if (options.error.isEmpty() && options.filter.from > options.filter.to)
        options.error = u"--from is after --to"_s;
    return options;
}

QString historyUsage()
{
    return uR"(Usage: edi-auto history [--ini PATH] [--date YYYY-MM-DD | --from DATE --to DATE]
                        [--centre CODE] [--failed] [--format table|csv|json]
Lists the jobs of the processing history with their steps: times, codes and their
meaning, categories, record counts, files and notes.
  --ini PATH           the configuration (default: EDI_INI, or EDI.ini two folders
                       above the program)
  --date YYYY-MM-DD    the jobs started that day (default: today)
  --from DATE          the jobs started from that day on (to today unless --to)
  --to DATE            the jobs started up to that day
  --centre CODE        the jobs of one centre
  --failed             only the jobs that failed (or whose backup copy failed)
  --format FORMAT      table (default, in the terminal's encoding), csv (UTF-8 with a
                       header line) or json (UTF-8)
  -h, --help           show this text
Exit status: 0 when jobs were listed, 1 when none matched or the history could not
be read, 2 for a usage error.
)"_s;
}

int runHistoryCommand(const QStringList& arguments, const QString& programFolder, const QDate& today)
{
    const HistoryOptions options = parseHistoryOptions(arguments, today);
    if (!options.error.isEmpty()) {
        writeStandardError(u"edi-auto history: "_s + options.error + u'\n' + historyUsage());
        return 2;
    }
    if (options.help) {
        writeStandardOutput(historyUsage());
        return 0;
    }
    std::vector<JobHistory> jobs;
    try {
        const std::unique_ptr<Database> database =
            openConfiguredDatabase(toolConfigurationPath(options.configPath, programFolder));
        SystemClock clock;
        jobs = History(*database, clock).jobs(options.filter);
    } catch (const ConfigurationError& error) {
        writeStandardError(u"edi-auto history: "_s + error.message() + u'\n');
        return 1;
    } catch (const DatabaseError& error) {
        writeStandardError(u"edi-auto history: "_s + error.message() + u'\n');
        return 1;
    }
    if (jobs.empty()) {
        writeStandardError(u"該当する履歴がありません\n"_s);
        return 1;
    }
    const QString text = formatHistory(jobs, options.format);
    if (options.format == HistoryFormat::Table)
        writeStandardOutput(text);
    else
        writeStandardOutputUtf8(text);
    return 0;
}

}  // namespace edi
