#include "app/Startup.h"

#include "app/AppState.h"
#include "app/MessageSink.h"
#include "app/config/IniFile.h"
#include "app/database/DatabaseError.h"
#include "app/locks/ExclusiveLocks.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kIniReadError = u"INIﾌｧｲﾙ読込エラー"_s;
const QString kConnectionError = u"接続エラー"_s;
const QString kSchedulerRunning = u"スケジューラ二重起動エラー"_s;

bool locateConfiguration(AppState& state, const StartupRequest& request)
{
    if (!request.configPath.isEmpty()) {
        const QFileInfo file(request.configPath);
        state.configPath = file.absoluteFilePath();
        state.baseFolder = file.absolutePath();
        return true;
    }
    const std::optional<QString> folder = configurationFolder(request.programFolder);
    if (!folder)
        return false;
    state.baseFolder = *folder;
    state.configPath = configurationPathIn(*folder);
    return true;
}

// Holds the lock on the machine name for as long as the program runs.
bool lockScheduler(AppState& state, MessageSink& messages)
{
    try {
        state.locks = ExclusiveLocks::forDatabase(*state.database);
        state.schedulerLock = state.locks->tryLock(LockScope::Scheduler, state.machineName);
    } catch (const LockError& error) {
        messages.showMessage(kSchedulerRunning, error.message());
        return false;
    }
    if (!state.schedulerLock) {
        messages.showMessage(kSchedulerRunning,
                             u"端末名 %1 のスケジューラが同じデータベースで既に動いています"_s.arg(state.machineName));
        return false;
    }
    return true;
}

}  // namespace

bool runStartup(AppState& state, const StartupRequest& request, MessageSink& messages)
{
    state.clock = request.clock;
    state.programId = QString::fromUtf16(AppState::kProgramIdentifier);

    if (!locateConfiguration(state, request)) {
        messages.showMessage(kIniReadError, u"No configuration folder above "_s + request.programFolder);
        return false;
    }
    const IniFile environmentFile = IniFile::read(state.configPath);
    state.environment = readEnvironmentSettings(environmentFile);
    state.scheduler = readSchedulerSettings(environmentFile);
    state.reception = readReceptionSettings(environmentFile);

    state.machineName = request.machineName();

    const ConnectionSettings connection =
        ConnectionSettings::fromEnvironment(state.environment, state.baseFolder, state.machineName);
    state.connectionString = connection.connectionString();
    try {
        state.database = Database::open(connection);
    } catch (const DatabaseError& error) {
        // An unread file reads as empty settings, which show up as a failed connection: say why.
        const QString unread = environmentFile.problem();
        messages.showMessage(kConnectionError, unread.isEmpty() ? error.message() : unread + u"; "_s + error.message());
        return false;
    }

    if (request.scheduler && !lockScheduler(state, messages))
        return false;

    const IniFile ini = IniFile::read(state.configPath);
    QString failedKey;
    const std::optional<ProgramSettings> settings = readProgramSettings(ini, &failedKey);
    if (!settings) {
        messages.showMessage(kIniReadError, failedKey + u" is empty or not a number in "_s + state.configPath);
        return false;
    }
    state.settings = *settings;
    state.statusColours = readStatusColours(ini);

    state.operatorCode = request.operatorArgument.trimmed();
    state.operatorName.clear();
    state.runState = RunState::Waiting;
    return true;
}

}  // namespace edi
