#include "jobs/Registration.h"

#include "app/ResultCode.h"
#include "app/config/ConfigNumber.h"
#include "app/config/IniFile.h"
#include "app/database/Database.h"
#include "app/database/DatabaseError.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/process/RunAndWait.h"
#include "app/text/ShiftJis.h"
#include "app/text/TextHelpers.h"
#include "jobs/JobCodes.h"
#include "jobs/JobContext.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <optional>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The partner companies of the centre, in the order the database gives them.
std::optional<QStringList> partnerCompanies(Database& database, const QString& centreCode)
{
    try {
        QStringList companies;
        for (ResultSet rows = database.query({u"SELECT * FROM FL1915センタ利用企業マスタ WHERE センターコード = ?"_s,
                                              {centreCode}});
             !rows.atEnd() && companies.size() < 32767; rows.next())
            companies << nullOrDefault(rows.value(u"相手先企業コード"_s), {});
        if (companies.isEmpty())
            return std::nullopt;
        return companies;
    } catch (const DatabaseError&) {
        return std::nullopt;
    }
}

bool writeCommandFile(const QString& path, const QStringList& lines)
{
    QFile file(path);
    const QByteArray text = threadShiftJis().encode(lines.join(u"\r\n"_s) + u"\r\n"_s);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size() && file.flush();
}

// The registration program's command line with the command file after an "@".
FileStatus startRegistrationProgram(const RegistrationSettings& settings, const QString& commandFile)
{
    QStringList arguments = QProcess::splitCommand(settings.commandLine);
    if (arguments.isEmpty())
        return FileStatus::Error;
    const QString program = arguments.takeFirst();
    arguments << u"@"_s + commandFile;
    return runAndWait(program, arguments, QFileInfo(program).absolutePath(), settings.timeLimitSeconds);
}

// A status file written just after its command file may look older on a file system that keeps
// times in two-second steps.
constexpr qint64 kFileTimeStepMsecs = 2000;

// Moves a status file that is not the job's out of the program's way; the line says so.
QString moveStatusFileAside(const QString& path, const QString& why)
{
    const QString target = unusedNameBeside(path, u".STALE"_s);
    if (renameWithoutReplacing(path, target) != FileStatus::Done)
        return u"%1ステータスファイル %2 を移せません"_s.arg(why, path);
    return u"%1ステータスファイル %2 を %3 に移しました"_s.arg(why, path, target);
}

class RegistrationStep {
public:
    RegistrationStep(JobContext& job, const QString& centreCode, qint32 serial)
        : job_(job), centreCode_(centreCode), serial_(serial)
    {
    }

    QString run();
    // For a job whose process ended while its registration program ran: the status file the
    // program left, the lines after the first `recordedLines` (which have their rows already).
    std::optional<QString> recordLeftStatusFile(int recordedLines, const QString& note);

private:
    QString statusFile(const RegistrationSettings& settings) const { return registrationStatusFile(settings, serial_); }
    // A status file of the serial before the step runs the program is an earlier job's.
    void setAsideEarlierStatusFile(const QString& path)
    {
        if (QFileInfo::exists(path))
            notes_ << moveStatusFileAside(path, u"前のジョブの"_s);
    }
    // After the run, a status file older than the command file was not written by it.
    bool statusFileWritten(const RegistrationSettings& settings)
    {
        if (const QString line = setAsideStaleStatusFile(settings, serial_); !line.isEmpty())
            notes_ << line;
        return statusFileOfThisRun(settings, serial_);
    }
    bool recordStatusFile(const QString& path, const QString& firstCompany, const JobFiles& files, int recordedLines = 0);
    QString closeJobRow(const QString& note = {});
    QString noPartnerCompany() const
    {
        return u"センタ利用企業マスタにセンター %1 の企業がありません"_s.arg(centreCode_);
    }
    static QString noStatusFile(const QString& path) { return u"ステータスファイル %1 がありません"_s.arg(path); }
    static QString unreadableStatusFile(const QString& path) { return u"ステータスファイル %1 を読めません"_s.arg(path); }
    bool recordLine();
    // The step's codes, and the reason in words that the job row's note keeps.
    void fail(const QString& code, const QString& detail, const QString& reason = {})
    {
        stepCode_ = code;
        stepDetail_ = detail;
        reason_ = reason;
    }

    JobContext& job_;
    QString centreCode_;
    qint32 serial_;
    QString stepCode_ = ResultCode::ok;
    QString stepDetail_ = ResultCode::ok;
    QString reason_;
    QStringList notes_;  // status files moved aside
    HistoryCompletion completion_;
};

QString RegistrationStep::run()
{
    completion_.serial = serial_;
    const RegistrationSettings settings = readRegistrationSettings(IniFile::read(job_.settings().configPath));
    const QString statusFile = this->statusFile(settings);
    const QString commandFile = registrationCommandFile(settings, serial_);
    setAsideEarlierStatusFile(statusFile);
    try {
        const JobFiles files(settings.receivedFolder, serial_, centreCode_);
        const std::optional<QStringList> companies = partnerCompanies(job_.database(), centreCode_);
        if (!companies) {
            fail(JobCode::noPartnerCompany, JobCode::programNotRun, noPartnerCompany());
        } else if (settings.categories.isEmpty()) {
            fail(ResultCode::failed, ResultCode::ok, u"EDI.ini の [JKBN_K_J] に登録する取引情報区分がありません"_s);
        } else if (!writeCommandFile(commandFile, registrationCommandLines(settings.categories, files.baseName(),
                                                                          job_.settings().operatorCode, statusFile))) {
            fail(ResultCode::failed, ResultCode::ok, u"登録の指示ファイル %1 を書けません"_s.arg(commandFile));
        } else if (startRegistrationProgram(settings, commandFile) != FileStatus::Done) {
            fail(JobCode::registrationFailed, JobCode::programNotRun,
                 u"登録プログラムが起動できないか、異常終了または時間切れになりました: "_s + settings.commandLine);
        } else if (!statusFileWritten(settings)) {
            fail(JobCode::registrationFailed, JobCode::noStatusFile, noStatusFile(statusFile));
        } else if (!recordStatusFile(statusFile, companies->first(), files)) {
            fail(ResultCode::failed, stepDetail_, unreadableStatusFile(statusFile));
        }
    } catch (const std::invalid_argument&) {
        fail(ResultCode::failed, ResultCode::ok);
    }
    return closeJobRow();
}

std::optional<QString> RegistrationStep::recordLeftStatusFile(int recordedLines, const QString& note)
{
    completion_.serial = serial_;
    const RegistrationSettings settings = readRegistrationSettings(IniFile::read(job_.settings().configPath));
    const QString statusFile = this->statusFile(settings);
    if (!statusFileOfThisRun(settings, serial_))
        return std::nullopt;
    try {
        const JobFiles files(settings.receivedFolder, serial_, centreCode_);
        const std::optional<QStringList> companies = partnerCompanies(job_.database(), centreCode_);
        if (!companies)
            fail(JobCode::noPartnerCompany, JobCode::programNotRun, noPartnerCompany());
        else if (!recordStatusFile(statusFile, companies->first(), files, recordedLines))
            fail(ResultCode::failed, stepDetail_, unreadableStatusFile(statusFile));
    } catch (const std::invalid_argument&) {
        fail(ResultCode::failed, ResultCode::ok);
    }
    return closeJobRow(note);
}

// The job row is completed here and nowhere else once the registration ran.
QString RegistrationStep::closeJobRow(const QString& note)
{
    completion_.branch = 0;
    completion_.endCode = stepCode_;
    completion_.detailCode = stepDetail_;
    QStringList notes = QStringList{note} + notes_ + QStringList{reason_};
    notes.removeAll(QString());
    completion_.note = notes.join(u" / "_s);
    const QString closed = job_.history().closeRow(completion_);
    if (leadingConfigNumber(stepCode_) != 0)
        return stepCode_;
    if (completion_.endCode != ResultCode::ok)
        return completion_.endCode;
    return closed;
}

// The longest status line read as one; a status line is some thirty characters.
constexpr qint64 kMaxStatusLine = 1 << 16;

// One history row per status line up to a line of kind "1". Once a line failed, every later
// line is recorded as failed too, with the values of the last good line; reading stops at the
// first line the history cannot take, which fails the step. False when the file cannot be read.
bool RegistrationStep::recordStatusFile(const QString& path, const QString& firstCompany, const JobFiles& files,
                                        int recordedLines)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (int index = 0; !file.atEnd(); ++index) {
        QByteArray raw = file.readLine(kMaxStatusLine);
        // A line longer than any status line is a failed one; its rest is no line of its own.
        const bool overLong = !raw.endsWith('\n') && !file.atEnd();
        while (!raw.endsWith('\n') && !file.atEnd())
            raw = file.readLine(kMaxStatusLine);
        while (raw.endsWith('\n') || raw.endsWith('\r'))
            raw.chop(1);
        const QString text = threadShiftJis().decode(raw);
        const StatusLine line = parseStatusLine(text);
        if (line.kind == u"1"_s && !overLong)
            break;
        const bool lineFailed = line.failed || overLong;
        if (lineFailed)
            stepCode_ = ResultCode::failed;
        completion_.note = lineFailed ? u"異常なステータス行: "_s + text.left(80) : QString();
        if (stepCode_ != ResultCode::failed) {
            completion_.partnerCompany = firstCompany;
            completion_.transactionCategory = line.category;
            completion_.inputRecords = line.inputRecords;
            completion_.outputRecords = line.outputRecords;
            completion_.fileName = files.localCategoryFile(line.category);
            stepCode_ = ResultCode::ok;
        }
        completion_.endCode = stepCode_;
        completion_.detailCode = stepDetail_;
        if (index < recordedLines)
            continue;  // its row was written before the job's process ended
        if (!recordLine()) {
            stepCode_ = ResultCode::failed;  // the step must not end well with a line unrecorded
            break;                           // and the history takes no further rows
        }
    }
    return true;
}

// The current line's own history row; false when the history could not take it.
bool RegistrationStep::recordLine()
{
    HistoryStart start{serial_, 0, u"R"_s, u"1"_s, u"41"_s, centreCode_, {}};
    if (job_.history().addStep(start) != ResultCode::ok)
        return false;
    completion_.branch = start.branch;
    // A row that went missing turns the completion's end code into the failure code.
    return job_.history().closeRow(completion_) == ResultCode::ok && completion_.endCode == stepCode_;
}

}  // namespace

StatusLine parseStatusLine(const QString& line)
{
    StatusLine parsed;
    parsed.kind = line.mid(0, 1);
    parsed.category = line.mid(1, 4);
    parsed.inputRecords = leadingConfigNumber(line.mid(17, 6));
    bool outputIsNumber = false;
    parsed.outputRecords = line.mid(23, 6).trimmed().toInt(&outputIsNumber);
    parsed.failed = !outputIsNumber || leadingConfigNumber(line.mid(29, 2)) != 0;
    return parsed;
}

QStringList registrationCommandLines(const QStringList& categories, const QString& baseName,
                                     const QString& operatorCode, const QString& statusFile)
{
    QStringList lines;
    for (const QString& category : categories)
        lines << u"/[EDI]"_s + category + u"TXT=%EDI_IN%"_s + baseName + category + u".LOC"_s;
    lines << u"/[EDI]OPERATOR="_s + operatorCode;
    lines << u"/[EDI]STATUS_FILE="_s + statusFile;
    return lines;
}

QString runRegistration(JobContext& job, const QString& centreCode, qint32 serial)
{
    return RegistrationStep(job, centreCode, serial).run();
}

std::optional<QString> recordLeftStatusFile(JobContext& job, const QString& centreCode, qint32 serial, int recordedLines,
                                            const QString& note)
{
    return RegistrationStep(job, centreCode, serial).recordLeftStatusFile(recordedLines, note);
}

QString registrationCommandFile(const RegistrationSettings& settings, qint32 serial)
{
    return JobFiles::joinPath(settings.commandFolder, u"EDI"_s + serialText(serial) + u".INI"_s);
}

QString registrationStatusFile(const RegistrationSettings& settings, qint32 serial)
{
    return JobFiles::joinPath(settings.statusFolder, serialText(serial) + u"_K_IN_STATUS.TXT"_s);
}

bool statusFileOfThisRun(const RegistrationSettings& settings, qint32 serial)
{
    const QFileInfo status(registrationStatusFile(settings, serial));
    const QFileInfo command(registrationCommandFile(settings, serial));
    return status.isFile() && command.isFile()
        && status.lastModified().msecsTo(command.lastModified()) <= kFileTimeStepMsecs;
}

QString setAsideStaleStatusFile(const RegistrationSettings& settings, qint32 serial)
{
    const QString status = registrationStatusFile(settings, serial);
    if (!QFileInfo::exists(status) || statusFileOfThisRun(settings, serial))
        return {};
    return moveStatusFileAside(status, u"登録の指示ファイルより古い"_s);
}

}  // namespace edi
