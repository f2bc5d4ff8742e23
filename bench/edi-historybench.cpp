// How a job's history work scales with the history table: the same jobs' history calls (a job
// row, four step rows, five completions) timed on an empty table and on one of a million rows.
//
//   edi-historybench --ini EDI.ini [--rows N] [--jobs K] [--max-ratio R]
//
// The database the EDI.ini names gets the schema when it has no history table yet; its history
// is emptied first. Exit status 1 when the jobs on the full table take more than R times as long
// (default 3).

#include "BenchDatabase.h"
#include "app/Clock.h"
#include "jobs/History.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

double millisecondsPerJob(edi::History& history, int jobs)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < jobs; ++i) {
        edi::HistoryStart job{0, 0, u"R"_s, u"1"_s, u"01"_s, u"BENCH"_s, {}};
        if (history.openJob(job) != u"0000"_s)
            throw edi::DatabaseError(u"the job row could not be written"_s);
        for (const char16_t* kind : {u"10", u"34", u"31", u"41"}) {
            edi::HistoryStart step{job.serial, 0, u"R"_s, u"1"_s, QString::fromUtf16(kind), u"BENCH"_s, {}};
            history.addStep(step);
            edi::HistoryCompletion completion;
            completion.serial = job.serial;
            completion.branch = step.branch;
            history.closeRow(completion);
        }
        edi::HistoryCompletion completion;
        completion.serial = job.serial;
        history.closeRow(completion);
    }
    return double(timer.nsecsElapsed()) / 1e6 / jobs;
}

// Five rows a serial, as jobs leave them, written by the database itself.
void fill(edi::Database& database, qint64 rows)
{
    const QString values = u" (n / 5) + 1, n % 5, 'R', '1', '01', DATE '2026-01-01', TIME '09:00:00', 'OLD', '0000', '0000' "_s;
    const QString insert = u"INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付,"
                           u" 処理開始時刻, センターコード, 終了コード, 詳細コード) "_s;
    if (database.kind() == edi::DatabaseKind::Sqlite) {
        database.execute({insert + u"WITH RECURSIVE s(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM s WHERE n + 1 < ?) SELECT"_s
                              + QString(values).replace(u"DATE "_s, QString()).replace(u"TIME "_s, QString()) + u"FROM s"_s,
                          {rows}});
    } else {
        database.execute({insert + u"SELECT"_s + values + u"FROM generate_series(0, ? - 1) AS s(n)"_s, {rows}});
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    QString iniPath;
    qint64 rows = 1000000;
    int jobs = 200;
    double maxRatio = 3.0;
    for (qsizetype i = 0; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == u"--ini"_s)
            iniPath = arguments[i + 1];
        else if (arguments[i] == u"--rows"_s)
            rows = arguments[i + 1].toLongLong();
        else if (arguments[i] == u"--jobs"_s)
            jobs = arguments[i + 1].toInt();
        else if (arguments[i] == u"--max-ratio"_s)
            maxRatio = arguments[i + 1].toDouble();
    }
    if (iniPath.isEmpty() || rows < 1 || jobs < 1) {
        std::fputs("usage: edi-historybench --ini EDI.ini [--rows N] [--jobs K] [--max-ratio R]\n", stderr);
        return 2;
    }
    try {
        auto database = bench::openBenchDatabase(iniPath, QStringLiteral(EDI_SCHEMA_FILE));
        database->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}});
        edi::SystemClock clock;
        edi::History history(*database, clock);

        const double empty = millisecondsPerJob(history, jobs);
        database->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}});
        fill(*database, rows);
        const double full = millisecondsPerJob(history, jobs);
        const double ratio = full / empty;
        std::printf("history work of one job: %.3f ms with an empty table, %.3f ms with %lld rows (ratio %.2f)\n", empty,
                    full, static_cast<long long>(rows), ratio);
        database->execute({u"DELETE FROM FL1102処理履歴ファイル"_s, {}});
        return ratio <= maxRatio ? 0 : 1;
    } catch (const edi::DatabaseError& error) {
        std::fprintf(stderr, "edi-historybench: %s\n", error.message().toUtf8().constData());
        return 2;
    }
}
