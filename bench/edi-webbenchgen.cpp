// The data of the web monitor's benchmark: workstations of many centres each, their receptions
// in the schedule master, a heartbeat per workstation, and a history of many months that follows
// the schedule up to now, in the database an EDI.ini names.
//
//   edi-webbenchgen --ini EDI.ini [--rows N] [--machines M] [--centres C] [--handover DIR]
//
// M workstations WB01... of C centres each (code WmmCCC), every centre received three to six
// times a week between 06:00 and 22:00 by hand-over from DIR/CODE.CII; the history's jobs start
// at their receptions' minutes (finished, without data, failed, held back as duplicates, busy),
// with their step rows, going back from now until it holds about N rows (default 1,000,000).
// The tables it fills are emptied first. The same arguments give the same rows, but for the day
// they end on. Prints what it wrote: rows, jobs, the first day and the highest serial.

#include "BenchDatabase.h"
#include "monitor/Heartbeat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kHistory = u"FL1102処理履歴ファイル"_s;
// Rows bound in one INSERT: far below every database's limit of bound values.
constexpr int kRowsPerInsert = 100;

struct Options {
    QString iniPath;
    qint64 rows = 1000000;
    int machines = 10;
    int centres = 200;
    QString handover = u"/nonexistent/handover"_s;
};

struct Reception {
    int weekday;  // 1 = Sunday, as the schedule master counts
    QTime time;
};

struct Centre {
    QString code;
    QString machine;
    std::vector<Reception> receptions;
};

// How a job ended, with the step rows it leaves.
enum class Outcome { Finished, FinishedTwoConversions, NoData, Failed, Duplicate, Busy };

struct Job {
    QDateTime started;
    int centre;  // index into the centres
    Outcome outcome;
};

// A small deterministic hash: the same arguments always give the same centres and jobs.
quint32 mix(quint64 value)
{
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return quint32(value);
}

QString machineName(int machine)
{
    return u"WB%1"_s.arg(machine + 1, 2, 10, QChar(u'0'));
}

std::vector<Centre> makeCentres(const Options& options)
{
    std::vector<Centre> centres;
    for (int machine = 0; machine < options.machines; ++machine) {
        for (int number = 0; number < options.centres; ++number) {
            const int index = int(centres.size());
            Centre centre{u"W%1%2"_s.arg(machine + 1, 2, 10, QChar(u'0')).arg(number + 1, 3, 10, QChar(u'0')),
                          machineName(machine),
                          {}};
            // Three to six weekdays, each at its own minute between 06:00 and 22:00.
            const int days = 3 + int(mix(index) % 4);
            for (int weekday = 1 + int(mix(index + 7777) % 7); int(centre.receptions.size()) < days;
                 weekday = weekday % 7 + 1) {
                const int minute = 6 * 60 + int(mix(quint64(index) * 8 + quint64(weekday)) % (16 * 60));
                centre.receptions.push_back({weekday, QTime(minute / 60, minute % 60)});
            }
            centres.push_back(std::move(centre));
        }
    }
    return centres;
}

int weekdayOf(const QDate& date)
{
    return date.dayOfWeek() % 7 + 1;  // Qt counts from Monday = 1
}

Outcome outcomeOf(quint32 draw)
{
    const quint32 percent = draw % 100;
    if (percent < 68)
        return Outcome::Finished;
    if (percent < 80)
        return Outcome::FinishedTwoConversions;
    if (percent < 90)
        return Outcome::NoData;
    if (percent < 97)
        return Outcome::Failed;
    if (percent < 99)
        return Outcome::Duplicate;
    return Outcome::Busy;
}

int rowsOf(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Finished: return 4;
    case Outcome::FinishedTwoConversions: return 5;
    case Outcome::Duplicate: return 3;
    case Outcome::NoData:
    case Outcome::Failed:
    case Outcome::Busy: return 2;
    }
    return 1;
}

// The jobs of the receptions due from the newest back, until they leave about `rows` rows; oldest
// first. A job starts within a minute of its reception's minute; today's last few minutes' jobs
// are left out, so that none is still running.
std::vector<Job> makeJobs(const std::vector<Centre>& centres, qint64 rows, const QDateTime& now)
{
    std::vector<Job> jobs;
    qint64 written = 0;
    for (QDate day = now.date(); written < rows; day = day.addDays(-1)) {
        std::vector<Job> ofDay;
        for (size_t index = 0; index < centres.size(); ++index) {
            for (const Reception& reception : centres[index].receptions) {
                if (reception.weekday != weekdayOf(day))
                    continue;
                const quint32 draw = mix(quint64(day.toJulianDay()) * 100003 + index);
                const QDateTime started(day, reception.time.addSecs(draw % 50));
                if (started.secsTo(now) < 300)
                    continue;
                ofDay.push_back({started, int(index), outcomeOf(draw >> 8)});
            }
        }
        std::sort(ofDay.begin(), ofDay.end(), [](const Job& a, const Job& b) { return a.started > b.started; });
        for (Job& job : ofDay) {
            written += rowsOf(job.outcome);
            jobs.push_back(std::move(job));
        }
    }
    std::reverse(jobs.begin(), jobs.end());
    return jobs;
}

// INSERT statements of many rows each, all in the caller's transaction.
class RowWriter {
public:
    RowWriter(edi::Database& database, QString table, QStringList columns)
        : database_(database), table_(std::move(table)), columns_(std::move(columns))
    {
    }
    void add(const QVariantList& row)
    {
        pending_ << row;
        if (pending_.size() == kRowsPerInsert * columns_.size()) {
            if (!full_)
                full_.emplace(database_.prepare(statement(kRowsPerInsert)));
            full_->execute(pending_);
            pending_.clear();
        }
    }

    void finish()
    {
        if (!pending_.isEmpty())
            database_.prepare(statement(int(pending_.size() / columns_.size()))).execute(pending_);
        pending_.clear();
    }

private:
    QString statement(int rows) const
    {
        const QString one = u'(' + QStringList(columns_.size(), u"?"_s).join(u", "_s) + u')';
        return u"INSERT INTO %1 (%2) VALUES "_s.arg(table_, columns_.join(u", "_s)) + QStringList(rows, one).join(u", "_s);
    }

    edi::Database& database_;
    QString table_;
    QStringList columns_;
    QVariantList pending_;
    std::optional<edi::PreparedStatement> full_;
};

void writeMasters(edi::Database& database, const std::vector<Centre>& centres, const QString& handover)
{
    RowWriter codes(database, u"区分マスタ"_s, {u"区分"_s, u"区分ｺｰﾄﾞ"_s, u"区分名称"_s});
    codes.add({u"送受信方式"_s, u"W"_s, u"持込"_s});
    codes.add({u"相手先種別"_s, u"1"_s, u"組立メーカ"_s});
    codes.finish();
    RowWriter control(database, u"FL1903EDI制御マスタ"_s,
                      {u"センターコード"_s, u"センター名"_s, u"送受信方式"_s, u"実行端末名"_s, u"相手先種別"_s,
                       u"CVX受信ファイルパス"_s, u"送受信データ形式"_s});
    RowWriter schedule(database, u"FL1912EDIスケジュールマスタ"_s, {u"センターコード"_s, u"曜日"_s, u"起動時刻"_s, u"送受信種別"_s});
    for (const Centre& centre : centres) {
        control.add({centre.code, u"性能試験センター "_s + centre.code, u"W"_s, centre.machine, u"1"_s,
                     handover + u'/' + centre.code + u".CII"_s, u"C"_s});
        for (const Reception& reception : centre.receptions)
            schedule.add({centre.code, reception.weekday, reception.time, u"R"_s});
    }
    control.finish();
    schedule.finish();
}

void writeHeartbeats(edi::Database& database, int machines, const QDateTime& now)
{
    edi::HeartbeatTable table(database);
    for (int machine = 0; machine < machines; ++machine) {
        edi::Heartbeat heartbeat;
        heartbeat.machineName = machineName(machine);
        heartbeat.version = u"bench"_s;
        heartbeat.processId = 1000 + machine;
        heartbeat.started = now.addDays(-3);
        heartbeat.lastTick = now;
        heartbeat.runState = 2;  // waiting for its next reception
        table.write(heartbeat);
    }
}

// The history's rows of one job, as the job sequence leaves them.
class HistoryWriter {
public:
    explicit HistoryWriter(edi::Database& database)
        : rows_(database, kHistory,
                {u"通番"_s, u"枝番"_s, u"送受信種別"_s, u"相手先種別"_s, u"処理種別"_s, u"処理開始日付"_s, u"処理開始時刻"_s,
                 u"センターコード"_s, u"処理終了日付"_s, u"処理終了時刻"_s, u"取引情報区分"_s, u"BPID"_s,
                 u"入力レコード数"_s, u"出力レコード数"_s, u"終了コード"_s, u"詳細コード"_s, u"ファイル名"_s, u"備考"_s})
    {
    }

    void write(qint32 serial, const Job& job, const Centre& centre)
    {
        const quint32 draw = mix(quint64(serial));
        const int records = 10 + int(draw % 5000);
        const QString file = u"/var/lib/edi/received/%1_%2.CII"_s.arg(centre.code).arg(serial, 8, 10, QChar(u'0'));
        QDateTime moment = job.started;
        auto step = [&](qint16 branch, const QString& kind, int seconds, const QString& end, const QString& detail,
                        int stepRecords) {
            const QDateTime from = moment;
            moment = moment.addSecs(seconds);
            row(serial, branch, kind, from, moment, centre.code, end, detail, stepRecords, file);
        };
        qint16 branch = 1;
        QString end = u"0000"_s;
        QString detail = u"0000"_s;
        switch (job.outcome) {
        case Outcome::Finished:
        case Outcome::FinishedTwoConversions:
            step(branch++, u"10"_s, 5, end, detail, records);
            if (job.outcome == Outcome::FinishedTwoConversions)
                step(branch++, u"31"_s, 2, end, detail, records);
            step(branch++, u"34"_s, 3, end, detail, records);
            step(branch++, u"41"_s, 20, end, detail, records);
            break;
        case Outcome::NoData:
            detail = u"0100"_s;
            step(branch++, u"10"_s, 2, end, detail, 0);
            break;
        case Outcome::Failed:
            end = u"9999"_s;
            step(branch++, u"10"_s, 30, end, u"0000"_s, 0);
            break;
        case Outcome::Duplicate:
            step(branch++, u"10"_s, 5, u"0000"_s, detail, records);
            step(branch++, u"34"_s, 3, u"0000"_s, detail, records);
            end = u"8004"_s;
            break;
        case Outcome::Busy:
            end = u"8001"_s;
            step(branch++, u"10"_s, 0, end, detail, 0);
            break;
        }
        const bool received = job.outcome != Outcome::NoData && job.outcome != Outcome::Failed && job.outcome != Outcome::Busy;
        row(serial, 0, u"01"_s, job.started, moment, centre.code, end, detail, received ? records : 0, file,
            u"端末 "_s + centre.machine);
    }

    void finish() { rows_.finish(); }

private:
    void row(qint32 serial, qint16 branch, const QString& kind, const QDateTime& started, const QDateTime& ended,
             const QString& centre, const QString& end, const QString& detail, int records, const QString& file,
             const QString& note = {})
    {
        rows_.add({serial, branch, u"R"_s, u"1"_s, kind, started.date(), started.time(), centre, ended.date(), ended.time(),
                   u"0101"_s, u"DEMO0101"_s, records, records, end, detail, file,
                   note.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(note)});
    }

    RowWriter rows_;
};

qint64 writeHistory(edi::Database& database, const std::vector<Centre>& centres, const std::vector<Job>& jobs)
{
    HistoryWriter history(database);
    qint64 rows = 0;
    qint32 serial = 0;
    for (const Job& job : jobs) {
        history.write(++serial, job, centres[size_t(job.centre)]);
        rows += rowsOf(job.outcome);
    }
    history.finish();
    return rows;
}

std::optional<Options> parseOptions(const QStringList& arguments)
{
    Options options;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        const QString& value = arguments[i + 1];
        if (name == u"--ini"_s)
            options.iniPath = value;
        else if (name == u"--rows"_s)
            options.rows = value.toLongLong();
        else if (name == u"--machines"_s)
            options.machines = value.toInt();
        else if (name == u"--centres"_s)
            options.centres = value.toInt();
        else if (name == u"--handover"_s)
            options.handover = value;
        else
            return std::nullopt;
    }
    if (arguments.size() % 2 != 0 || options.iniPath.isEmpty() || options.rows < 1 || options.machines < 1
        || options.machines > 99 || options.centres < 1 || options.centres > 999)
        return std::nullopt;
    return options;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const std::optional<Options> options = parseOptions(application.arguments().mid(1));
    if (!options) {
        std::fputs("usage: edi-webbenchgen --ini EDI.ini [--rows N] [--machines M (1-99)] [--centres C (1-999)]"
                   " [--handover DIR]\n",
                   stderr);
        return 2;
    }
    try {
        QElapsedTimer timer;
        timer.start();
        auto database = bench::openBenchDatabase(options->iniPath, QStringLiteral(EDI_SCHEMA_FILE));
        const QDateTime now = QDateTime::currentDateTime();
        const std::vector<Centre> centres = makeCentres(*options);
        const std::vector<Job> jobs = makeJobs(centres, options->rows, now);
        qint64 rows = 0;
        database->inTransaction([&] {
            for (const QString& table : {kHistory, u"FL1912EDIスケジュールマスタ"_s, u"FL1903EDI制御マスタ"_s, u"区分マスタ"_s,
                                         u"EDI端末稼働状況"_s})
                database->execute({u"DELETE FROM "_s + table, {}});
            writeMasters(*database, centres, options->handover);
            writeHeartbeats(*database, options->machines, now);
            rows = writeHistory(*database, centres, jobs);
        });
        // A server's autovacuum gathers the planner's statistics and marks the pages all-visible
        // within minutes of a load this size: done at once, the measurement starts from there.
        if (database->isPostgreSqlServer())
            database->execute({u"VACUUM ANALYZE"_s, {}});
        std::printf("%d workstations, %zu centres, %lld history rows of %zu jobs from %s, highest serial %zu (%.1f s)\n",
                    options->machines, centres.size(), static_cast<long long>(rows), jobs.size(),
                    jobs.empty() ? "-" : qPrintable(jobs.front().started.date().toString(Qt::ISODate)), jobs.size(),
                    double(timer.elapsed()) / 1000.0);
        return 0;
    } catch (const edi::DatabaseError& error) {
        std::fprintf(stderr, "edi-webbenchgen: %s\n", error.message().toUtf8().constData());
        return 1;
    }
}
