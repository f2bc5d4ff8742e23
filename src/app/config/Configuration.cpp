#include "app/config/Configuration.h"

#include "app/config/ConfigNumber.h"
#include "app/config/IniFile.h"
#include "app/text/TextHelpers.h"

#include <QDir>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const QString kEnvironment = u"動作環境"_s;
const QString kSetting0 = u"Setting0"_s;
const QString kLinkDriver = u"LINKDRV"_s;
const QString kPath = u"PATH"_s;
const QString kDebug = u"デバッグ"_s;
const QString kColour = u"COLOR"_s;

QString fixedField(const QString& value)
{
    return value.left(kEnvironmentFieldWidth).leftJustified(kEnvironmentFieldWidth, u' ');
}

// Reads the "Setting0" and "LINKDRV" keys that must be numbers, remembering the first failure.
class StrictReader {
public:
    StrictReader(const IniFile& ini) : ini_(ini) {}

    QString text(const QString& section, const QString& key) const
    {
        return ini_.value(section, key, kSettingsBuffer);
    }

    Colour colour(const QString& key)
    {
        return Colour::fromConfigNumber(number(kSetting0, key, 32));
    }

    qint16 shortInteger(const QString& key) { return qint16(number(kLinkDriver, key, 16)); }

    FontSettings font(const QString& prefix) const
    {
        auto key = [&](const char16_t* suffix) { return text(kSetting0, prefix + QString::fromUtf16(suffix)); };
        return {key(u"FontBold"), key(u"FontItalic"), key(u"FontName"),
                key(u"FontSize"), key(u"FontStrikethru"), key(u"FontUnderline")};
    }

    bool failed() const { return !failedKey_.isEmpty(); }
    const QString& failedKey() const { return failedKey_; }

private:
    qint32 number(const QString& section, const QString& key, int bits)
    {
        const std::optional<qint32> value = parseConfigInteger(text(section, key), bits);
        if (!value && failedKey_.isEmpty())
            failedKey_ = section + u'.' + key;
        return value.value_or(0);
    }

    const IniFile& ini_;
    QString failedKey_;
};

}  // namespace

std::optional<QString> configurationFolder(const QString& programFolder)
{
    const QString folder = QDir::fromNativeSeparators(programFolder);
    const qsizetype last = folder.lastIndexOf(u'/');
    // lastIndexOf with a start of -1 would search from the end again.
    const qsizetype secondToLast = last > 0 ? folder.lastIndexOf(u'/', last - 1) : -1;
    if (secondToLast < 0)
        return std::nullopt;
    return folder.left(secondToLast);
}

QString configurationPathIn(const QString& folder)
{
    return folder + u"/EDI.ini"_s;
}

EnvironmentSettings readEnvironmentSettings(const IniFile& ini)
{
    auto read = [&](const QString& key) { return ini.value(kEnvironment, key, kEnvironmentBuffer); };
    EnvironmentSettings settings;
    settings.machineName = fixedField(read(u"MACHINENAME"_s));
    settings.userId = fixedField(read(u"USERID"_s));
    settings.password = fixedField(read(u"PASSWD"_s));
    settings.dbString = fixedField(read(u"DBSTRING"_s));
    settings.dbDriver = read(u"DBDRIVER"_s).trimmed().toUpper();
    return settings;
}

SchedulerSettings readSchedulerSettings(const IniFile& ini)
{
    SchedulerSettings settings;
    settings.catchupMinutes = std::clamp(leadingConfigNumber(ini.value(kEnvironment, u"CATCHUP"_s, kEnvironmentBuffer)), 0,
                                         SchedulerSettings::kMaxCatchupMinutes);
    return settings;
}

ReceptionSettings readReceptionSettings(const IniFile& ini)
{
    ReceptionSettings settings;
    const QString settle = ini.value(kEnvironment, u"SETTLE"_s, kEnvironmentBuffer).trimmed();
    if (!settle.isEmpty())
        settings.settleSeconds = std::clamp(leadingConfigNumber(settle), 0, ReceptionSettings::kMaxSettleSeconds);
    const QString days = ini.value(kEnvironment, u"DUPDAYS"_s, kEnvironmentBuffer).trimmed();
    if (!days.isEmpty())
        settings.duplicateDays = std::clamp(leadingConfigNumber(days), 0, ReceptionSettings::kMaxDuplicateDays);
    return settings;
}

std::optional<ProgramSettings> readProgramSettings(const IniFile& ini, QString* failedKey)
{
    StrictReader reader(ini);
    ProgramSettings settings;
    StylingSettings& styling = settings.styling;
    // Read in the order the file documents them, so the first bad key is the one reported.
    styling.formBackColor = reader.text(kSetting0, u"FormBackColor"_s);
    styling.labelBackColor = reader.colour(u"LabelBackColor"_s);
    styling.labelFont = reader.font(u"Label"_s);
    styling.labelForeColor = reader.colour(u"LabelForeColor"_s);
    styling.textBackColor = reader.colour(u"TextBackColor"_s);
    styling.textFocusColor = reader.colour(u"TextFocusColor"_s);
    styling.textFont = reader.font(u"Text"_s);
    styling.textForeColor = reader.colour(u"TextForeColor"_s);
    styling.titleBackColor = reader.colour(u"TitleBackColor"_s);
    styling.titleFont = reader.font(u"Title"_s);
    styling.titleForeColor = reader.colour(u"TitleForeColor"_s);

    LinkDriverSettings& link = settings.linkDriver;
    link.minimize = reader.shortInteger(u"MINIMAIZE"_s);
    link.demoMode = reader.shortInteger(u"DEMOMODE"_s);
    link.installFolder = reader.text(kLinkDriver, u"INSTALLDIR"_s);
    if (link.installFolder.isEmpty())
        link.installFolder = u"/opt/cvx/cvxbtcp/"_s;
    link.program = reader.text(kLinkDriver, u"PROGRAM"_s);
    if (link.program.isEmpty())
        link.program = u"z_tcp.exe"_s;
    link.timeLimitSeconds = std::max(0, leadingConfigNumber(reader.text(kLinkDriver, u"TIMELIMIT"_s)));

    settings.paths = readPathSettings(ini);

    settings.debugMode = reader.text(kDebug, u"MODE"_s) == u"1"_s;

    if (reader.failed()) {
        if (failedKey)
            *failedKey = reader.failedKey();
        return std::nullopt;
    }
    return settings;
}

PathSettings readPathSettings(const IniFile& ini)
{
    auto path = [&](const QString& key) { return ini.value(kPath, key, kSettingsBuffer); };
    PathSettings paths;
    paths.linkDataFolder = path(u"CVXLINK_PATH"_s);
    paths.receivedFolder = path(u"EDIINFIL"_s);
    paths.outgoingFolder = path(u"EDIOUTFIL"_s);
    paths.registrationStatusFolder = path(u"MGSTPATH"_s);
    paths.backupFolder = path(u"OLD_FILE"_s);
    paths.logFolder = path(u"LOGPATH"_s);
    return paths;
}

StatusColours readStatusColours(const IniFile& ini)
{
    auto read = [&](const QString& key) {
        return Colour::fromConfigNumber(leadingConfigNumber(ini.value(kColour, key, kEnvironmentBuffer)));
    };
    return {read(u"通常"_s), read(u"エラー"_s), read(u"処理済"_s), read(u"処理中"_s)};
}

RegistrationSettings readRegistrationSettings(const IniFile& ini)
{
    auto path = [&](const QString& key) { return ini.value(kPath, key, kSettingsBuffer); };
    RegistrationSettings settings;
    settings.commandLine = path(u"MGCMDLINEKR"_s);
    settings.commandFolder = path(u"PRPATH"_s);
    settings.receivedFolder = path(u"EDIINFIL"_s);
    settings.statusFolder = path(u"MGSTPATH"_s);
    settings.programFolder = path(u"STPATH"_s);
    settings.registrationFolder = path(u"MGPATH"_s);
    settings.timeLimitSeconds = std::max(0, leadingConfigNumber(path(u"MGTIMELIMIT"_s)));
    for (const QString& line : ini.sectionLines(u"JKBN_K_J", kSettingsBuffer)) {
        if (line.trimmed() == u"\\"_s)
            break;
        settings.categories << line;
    }
    return settings;
}

AlertSettings readAlertSettings(const IniFile& ini)
{
    auto read = [&](const QString& key) { return ini.value(u"ALERT"_s, key, kSettingsBuffer).trimmed(); };
    AlertSettings settings;
    settings.command = read(u"COMMAND"_s);
    for (const QString& centre : read(u"NODATA"_s).split(u',', Qt::SkipEmptyParts))
        settings.noDataCentres << centre.trimmed();
    const QString limit = read(u"TIMELIMIT"_s);
    if (!limit.isEmpty())
        settings.timeLimitSeconds = std::max(1, leadingConfigNumber(limit));
    settings.mailTo = read(u"MAILTO"_s);
    settings.mailFrom = read(u"MAILFROM"_s);
    settings.smtpUrl = read(u"SMTP"_s);
    settings.smtpUser = read(u"SMTPUSER"_s);
    settings.smtpPassword = read(u"SMTPPASSWORD"_s);
    settings.lostHeartbeats = read(u"LOSTHEARTBEAT"_s) == u"1"_s;
    return settings;
}

MailSettings readMailSettings(const IniFile& ini)
{
    auto read = [&](const QString& section, const QString& key) {
        return ini.value(section, key, kEnvironmentBuffer);
    };
    MailSettings settings;
    settings.profileName = read(u"MAPI"_s, u"ProfileName"_s);
    settings.password = read(u"MAPI"_s, u"Password"_s);
    for (const QString& key : {u"ProfileName"_s, u"Password"_s}) {
        if (ini.value(u"MAPI"_s, key, IniFile::kMaxFileBytes).size() > read(u"MAPI"_s, key).size())
            settings.cutKeys << key;
    }
    settings.store = ini.value(u"MAPI"_s, u"Store"_s, kSettingsBuffer);  // paths and URLs run long
    settings.tls = read(u"MAPI"_s, u"TLS"_s);
    settings.caFile = ini.value(u"MAPI"_s, u"CAFILE"_s, kSettingsBuffer);
    settings.timeout = read(u"MAPI"_s, u"TIMEOUT"_s);
    settings.mailText = expandLineBreaks(read(u"MAIL"_s, u"MAIL-TEXT"_s));
    return settings;
}

}  // namespace edi
