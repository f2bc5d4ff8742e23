#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace edi {

class JobContext;
struct RegistrationSettings;
struct HistoryCompletion;

// One line of the registration program's status file, cut at its fixed columns.
struct StatusLine {
    QString kind;          // column 1: "1" ends the file
    QString category;      // columns 2-5
    qint32 inputRecords = 0;   // columns 18-23, their leading digits
    qint32 outputRecords = 0;  // columns 24-29
    bool failed = false;   // the end code (columns 30-31) is not zero, or the output count is no number
};
StatusLine parseStatusLine(const QString& line);

// The command file's lines for the job's local files: one per transaction category, then the
// operator and the status file.
QStringList registrationCommandLines(const QStringList& categories, const QString& baseName,
                                     const QString& operatorCode, const QString& statusFile);

// RunRegistration, the job's last step: the partner companies of the centre, the command file,
// the registration program run and waited for, its status file read into one history row per
// category ("41"), and the completion of the job row. A status file of the serial found before
// the program runs, or one older than the command file after it ran, is moved aside (see
// setAsideStaleStatusFile) and never read; the job row's note says so. Returns "0000", "4100" (the program did not
// run, or left no status file), "7300" (no partner company) or "9999" (a failing status line, a
// command file that cannot be written, a status file that cannot be read, no category to register,
// a status line the history cannot take).
QString runRegistration(JobContext& job, const QString& centreCode, qint32 serial);

// For a job whose process ended while its registration program ran, which may have finished
// after its caller: the status file it left, recorded as the step would have (the "41" rows after
// the first `recordedLines`, then the job row with the note). None when there is no status file
// of this run (see statusFileOfThisRun).
std::optional<QString> recordLeftStatusFile(JobContext& job, const QString& centreCode, qint32 serial, int recordedLines,
                                            const QString& note);

// The command file of the job's registration, which its program is given after an "@".
QString registrationCommandFile(const RegistrationSettings& settings, qint32 serial);
// The status file the registration program writes for the job.
QString registrationStatusFile(const RegistrationSettings& settings, qint32 serial);

// Whether the job's status file was written for its command file: a status file older than the
// command file (or without one) is an earlier job's of the same serial, whose history was lost.
// False when there is no status file.
bool statusFileOfThisRun(const RegistrationSettings& settings, qint32 serial);

// A status file of the serial that was not written for the job's command file is moved aside
// ("NAME.STALE"), so that nothing records it as the job's. Returns the line that says so, empty
// when there was none.
QString setAsideStaleStatusFile(const RegistrationSettings& settings, qint32 serial);

}  // namespace edi
