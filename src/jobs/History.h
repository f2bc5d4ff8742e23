#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <vector>

class QSqlRecord;

namespace edi {

class Clock;
class Database;
class ResultSet;
struct Sql;

// The start of a history row: what the caller gives, and the serial and branch it gets.
struct HistoryStart {
    qint32 serial = 0;  // given for a step row, chosen for a job row
    qint16 branch = 0;  // chosen
    QString direction;       // 送受信種別
    QString partnerKind;     // 相手先種別
    QString processingKind;  // 処理種別: "01" job, "10" transfer, "31"-"34" conversion, "41" registration
    QString centreCode;
    QString note;            // 備考 from the start (the serial a job runs again); empty: none
};

// The completion of a history row: exactly these values are written.
struct HistoryCompletion {
    qint32 serial = 0;
    qint16 branch = 0;
    QString partnerCompany;       // 相手先企業コード
    QString bpid;
    QString transactionCategory;  // 取引情報区分
    qint32 lastSequence = 0;
    qint32 inputRecords = 0;
    qint32 inputFileSize = 0;
    qint32 outputRecords = 0;
    qint32 outputFileSize = 0;
    QString storageMode;  // 格納モード
    QString endCode;      // 終了コード; set to "9999" when the row does not exist
    QString detailCode;   // 詳細コード
    QString fileName;
    QString note;         // added to the row's 備考; empty: the row's note stays as it is
};

// A row as it stands: what recovery, re-runs and the job's report read.
struct HistoryRow {
    qint16 branch = 0;
    QString processingKind;
    QString centreCode;
    QDateTime started;
    bool completed = false;  // 処理終了日付 set
    QDateTime ended;
    QString transactionCategory;
    qint32 inputRecords = 0;
    qint32 outputRecords = 0;
    QString endCode;
    QString detailCode;
    QString fileName;
    QString note;
};

// Which jobs to list: those started from `from` to `to` (both included), of one centre when given,
// and only the failed ones when asked.
struct HistoryFilter {
    QDate from;
    QDate to;
    QString centreCode;
    bool failedOnly = false;
};

// One job: its serial and its rows, the job row (branch 0) first.
struct JobHistory {
    qint32 serial = 0;
    std::vector<HistoryRow> rows;

    const HistoryRow& jobRow() const { return rows.front(); }
    // Ended with another code than "0000", or well but with its backup copy failed.
    bool failed() const;
};

// A history row as a query over FL1102処理履歴ファイル read it; its note where the table has the column.
HistoryRow historyRowFrom(const ResultSet& row);
// Where a result's columns stand, found once for all its rows: looking a column up by its name
// costs more than reading its value. Throws DatabaseError for a result without a column a
// HistoryRow needs.
struct HistoryColumns {
    explicit HistoryColumns(const QSqlRecord& record);
    int branch, processingKind, startDate, startTime, centreCode, endDate, endTime, transactionCategory, inputRecords,
        outputRecords, endCode, detailCode, fileName;
    int note;  // -1 for a table made without it
};
HistoryRow historyRowFrom(const ResultSet& row, const HistoryColumns& columns);

// The jobs whose serials the query selects (its first column; nulls are passed over), with all
// their rows, by serial; a job whose job row is gone is left out. Throws DatabaseError.
std::vector<JobHistory> jobsOfSerials(Database& database, const Sql& serials);

// The latest start of a job row per centre, of the jobs started on `from` or later. Throws
// DatabaseError.
std::map<QString, QDateTime> latestJobStarts(Database& database, const QDate& from);

// The processing history, FL1102処理履歴ファイル: a job row (branch 0) per job and a row per step,
// inserted when they start and completed when they end. Each operation returns a result code,
// "0000" or "9999"; database errors never leave it.
//
// A serial is never taken while an earlier job's files use it (a database restored from an older
// copy has forgotten that job): a job would read that job's files as its own.
//
// Rows carry a note (備考) beside the codes. A table made before the column existed gets it at
// the first note; where the database refuses that, notes are left out and the codes stay.
class History {
public:
    // Bounded retries when another workstation took the same serial at the same moment.
    static constexpr int kSerialAttempts = 10;
    // The longest note a row keeps; a longer one is cut.
    static constexpr qsizetype kNoteLength = 1000;

    // What an earlier job left under a serial, in words; empty when the serial is free. Asked for
    // each serial openJob considers, between its look-up of the highest serial and its insert.
    using SerialInUse = std::function<QString(qint32 serial)>;

    History(Database& database, const Clock& clock, SerialInUse serialInUse = {})
        : database_(database), clock_(clock), serialInUse_(std::move(serialInUse))
    {
    }

    // OpenJobHistory: the job row with a new serial, given in start.serial: the highest plus one,
    // or the first after it that no earlier job's files use; the job row's note, and
    // serialsSkipped when given, say why any was passed over (empty when none was).
    QString openJob(HistoryStart& start, QString* serialsSkipped = nullptr);
    // AddStepHistory: a step row under start.serial with the next branch, given in start.branch.
    // "9999" for serial 0 or a branch beyond 32767.
    QString addStep(HistoryStart& start);
    // CloseHistoryRow: writes the completion with the current date and time. A row that does not
    // exist is not written, and the completion's end code becomes "9999".
    QString closeRow(HistoryCompletion& completion);
    // Adds a note to a row, completed or not (a backup copy that failed after the job row was
    // completed); a detail code, when given, replaces the row's.
    QString annotateRow(qint32 serial, qint16 branch, const QString& note, const QString& detailCode = {});

    // The rows of a job, by branch. Throws DatabaseError.
    std::vector<HistoryRow> jobRows(qint32 serial);
    // The jobs the filter selects with all their rows, by serial, in one query. Throws DatabaseError.
    std::vector<JobHistory> jobs(const HistoryFilter& filter);
    // The job rows a machine wrote that are not completed, oldest first, with their centres; of
    // one centre when its code is given. A job row names its machine in its note (see
    // machineNote); one without it belongs to the machine that runs its centre (the control
    // master's 実行端末名). Throws DatabaseError.
    std::vector<std::pair<qint32, QString>> openJobs(const QString& machineName, const QString& centreCode = {});
    // The centre's open jobs that another machine ran (see openJobs) whose transfer row is open
    // too, oldest first: their serials and notes naming the machine (empty when the row does not
    // say). Throws DatabaseError.
    std::vector<std::pair<qint32, QString>> openTransfersElsewhere(const QString& machineName, const QString& centreCode);

    // The note a job row starts with: the machine that runs the job, whose folders hold its files.
    static QString machineNote(const QString& machineName);
    // The machine a job row's note names; empty when it names none.
    static QString machineNamedIn(const QString& note);

private:
    // A job row that is not completed, and whether its transfer row is open too.
    struct OpenJob {
        qint32 serial;
        QString centreCode;
        QString machine;  // the note's "端末 NAME", when it has one
        bool ranHere;
        bool transferOpen;
    };
    std::vector<OpenJob> openJobRows(const QString& machineName, const QString& centreCode);

    qint32 highestSerial();
    // The first serial above `highest` that no earlier job's files use, and why the ones before it
    // are not.
    qint32 freeSerialAbove(qint32 highest, QString& skipped);
    void insertRow(const HistoryStart& start, bool stepRow);
    // Whether rows can carry notes: the column exists, or could be added.
    bool notesKept();
    QString noteAdded(const QVariant& current, const QString& note) const;

    Database& database_;
    const Clock& clock_;
    SerialInUse serialInUse_;
    bool notesKept_ = false;  // once the column was seen
};

}  // namespace edi
