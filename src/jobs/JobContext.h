#pragma once

#include "app/config/Configuration.h"
#include "app/locks/ExclusiveLocks.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"
#include "jobs/History.h"

#include <QString>
#include <memory>

namespace edi {

class Clock;
class Database;
class MailReceiver;

struct AppState;

// What a job needs from the program around it.
struct JobSettings {
    QString configPath;     // the configuration file, read again for the registration keys
    PathSettings paths;     // [PATH] as read at start-up
    LinkDriverSettings linkDriver;
    QString operatorCode;
    QString machineName;    // whose centres (the control master's 実行端末名) this program runs
    QString programId;      // "EDIAUTO"
    QString conversionLogPath;  // ERR.LOG
    ReceptionSettings reception;  // [動作環境] as read at start-up

    // The settings start-up read; the converters' log where conversionLogPath finds it a place,
    // the received-files folder as the last resort.
    static JobSettings fromState(const AppState& state, const QString& programFolder);
};

// The services of one job thread: its database connection, the history, the converters' masters,
// logs and shared records, and the transports that need more than a request.
class JobContext {
public:
    JobContext(Database& database, const Clock& clock, JobSettings settings, MailReceiver& mail);

    Database& database() { return database_; }
    const Clock& clock() const { return clock_; }
    const JobSettings& settings() const { return settings_; }
    // The history, which passes over serials whose files an earlier job left in the folders.
    History& history() { return history_; }
    // The locks a job takes on its own connection: one job per centre at a time.
    ExclusiveLocks& locks() { return *locks_; }
    FormatMasters& masters() { return masters_; }
    ConversionContext& conversions() { return conversions_; }
    ConversionLog& ciiXmlLog() { return ciiXmlLog_; }
    ConversionLog& localLog() { return localLog_; }
    MailReceiver& mail() { return mail_; }

private:
    Database& database_;
    const Clock& clock_;
    JobSettings settings_;
    History history_;
    std::unique_ptr<ExclusiveLocks> locks_;
    DatabaseFormatMasters masters_;
    ConversionContext conversions_;
    ConversionLog ciiXmlLog_;
    ConversionLog localLog_;
    MailReceiver& mail_;
};

}  // namespace edi
