#include "jobs/JobContext.h"

#include "app/AppState.h"
#include "app/files/ConversionLogLocation.h"
#include "jobs/EarlierJobFiles.h"

namespace edi {

JobSettings JobSettings::fromState(const AppState& state, const QString& programFolder)
{
    return {state.configPath,  state.settings.paths, state.settings.linkDriver,
            state.operatorCode, state.machineName,    state.programId,
            edi::conversionLogPath(state.settings.paths.logFolder, programFolder, state.settings.paths.receivedFolder),
            state.reception};
}

JobContext::JobContext(Database& database, const Clock& clock, JobSettings settings, MailReceiver& mail)
    : database_(database)
    , clock_(clock)
    , settings_(std::move(settings))
    , history_(database, clock, [this](qint32 serial) { return earlierJobFile(settings_, serial); })
    , locks_(ExclusiveLocks::forDatabase(database))
    , masters_(database)
    , ciiXmlLog_(settings_.conversionLogPath)
    , localLog_(settings_.conversionLogPath)
    , mail_(mail)
{
}

}  // namespace edi
