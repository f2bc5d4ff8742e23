#pragma once

#include "app/config/Colour.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace edi {

class IniFile;

// Buffer sizes of the reads, in characters including the terminating NUL.
inline constexpr int kEnvironmentBuffer = 64;  // "動作環境", "COLOR", "MAPI", "MAIL"
inline constexpr int kSettingsBuffer = 256;    // "Setting0", "LINKDRV", "PATH", "デバッグ", "JKBN_K_J"
inline constexpr int kEnvironmentFieldWidth = 50;

// The configuration file of a program in programFolder lies in the folder's grandparent:
// /opt/edi/pgm/exe reads /opt/edi/EDI.ini. nullopt when the folder has fewer than two separators.
std::optional<QString> configurationFolder(const QString& programFolder);
QString configurationPathIn(const QString& folder);

// Section "動作環境". The four specified values are kept in 50-character fields, cut and
// padded with blanks; users of them trim.
struct EnvironmentSettings {
    QString machineName;  // MACHINENAME, kept but unused
    QString userId;       // USERID
    QString password;     // PASSWD
    QString dbString;     // DBSTRING: ODBC data source, SQLite file or PostgreSQL connection string
    QString dbDriver;     // DBDRIVER: empty for ODBC, "SQLITE" or "PSQL"
};
EnvironmentSettings readEnvironmentSettings(const IniFile& ini);

// What the scheduler reads from "動作環境" besides the connection.
struct SchedulerSettings {
    // The longest a day's timetable may be behind: 14 days.
    static constexpr int kMaxCatchupMinutes = 14 * 24 * 60;
    // CATCHUP: a reception whose minute passed (the program was not running, a job ran long, the
    // machine slept) still runs once when it is no more than this many minutes late; 0 runs none.
    int catchupMinutes = 0;
};
SchedulerSettings readSchedulerSettings(const IniFile& ini);

// What a reception reads from "動作環境".
struct ReceptionSettings {
    static constexpr int kDefaultSettleSeconds = 5;
    static constexpr int kMaxSettleSeconds = 3600;
    // The longest DUPDAYS kept: ten years.
    static constexpr int kMaxDuplicateDays = 3650;
    // SETTLE: seconds a hand-over file or a package delivery must have stood still, with no
    // process writing it, before it is taken; 0 takes it as it is. Empty or missing: the default.
    int settleSeconds = kDefaultSettleSeconds;
    // DUPDAYS: a delivery equal to one registered within this many days is not registered again
    // (default 30); 0 turns the check off.
    int duplicateDays = 30;
};
ReceptionSettings readReceptionSettings(const IniFile& ini);

struct FontSettings {  // text values, checked only when applied to a window
    QString bold, italic, name, size, strikethru, underline;
};

// Section "Setting0": the styling of the windows.
struct StylingSettings {
    QString formBackColor;  // kept as text, converted when applied
    Colour labelBackColor;
    FontSettings labelFont;
    Colour labelForeColor;
    Colour textBackColor;
    Colour textFocusColor;
    FontSettings textFont;
    Colour textForeColor;
    Colour titleBackColor;
    FontSettings titleFont;
    Colour titleForeColor;
};

// Section "LINKDRV": options of the communication-package driver.
struct LinkDriverSettings {
    qint16 minimize = 0;  // MINIMAIZE
    qint16 demoMode = 0;  // DEMOMODE
    QString installFolder;  // INSTALLDIR: the package's folder, its working folder when run
    QString program;        // PROGRAM: the package's program file in that folder
    int timeLimitSeconds = 0;  // TIMELIMIT: how long a run may take; 0 or none waits without limit
};

// Section "PATH": folders to which file names are appended.
struct PathSettings {
    QString linkDataFolder;      // CVXLINK_PATH: the package's data folder
    QString receivedFolder;      // EDIINFIL: received and converted files
    QString outgoingFolder;      // EDIOUTFIL: kept, unused
    QString registrationStatusFolder;  // MGSTPATH
    QString backupFolder;        // OLD_FILE
    QString logFolder;           // LOGPATH: the converters' log; empty: where conversionLogPath finds room
};
// Section "PATH" alone, for the tools that need no more of the configuration.
PathSettings readPathSettings(const IniFile& ini);

// Stage two of start-up: "Setting0", "LINKDRV", "PATH" and "デバッグ".
struct ProgramSettings {
    StylingSettings styling;
    LinkDriverSettings linkDriver;
    PathSettings paths;
    bool debugMode = false;  // デバッグ MODE = "1"
};
// nullopt when a colour key of "Setting0", MINIMAIZE or DEMOMODE is empty or not a number;
// failedKey then names the key.
std::optional<ProgramSettings> readProgramSettings(const IniFile& ini, QString* failedKey = nullptr);

// Section "COLOR": text colours of the grid rows by state. Never fails: a value is its leading
// numeric part, 0 (black) when it has none.
struct StatusColours {
    Colour normal;   // 通常: not yet run
    Colour error;    // エラー: failed
    Colour done;     // 処理済: finished
    Colour running;  // 処理中: running
};
StatusColours readStatusColours(const IniFile& ini);

// What the registration step reads at every run.
struct RegistrationSettings {
    QString commandLine;        // PATH MGCMDLINEKR: the registration program and fixed arguments
    QString commandFolder;      // PATH PRPATH: folder of the command files
    QString receivedFolder;     // PATH EDIINFIL
    QString statusFolder;       // PATH MGSTPATH
    QString programFolder;      // PATH STPATH
    QString registrationFolder; // PATH MGPATH
    QStringList categories;     // section JKBN_K_J: transaction categories, up to a "\" line
    int timeLimitSeconds = 0;   // PATH MGTIMELIMIT: how long the program may take; 0 waits without limit
};
RegistrationSettings readRegistrationSettings(const IniFile& ini);

// What the mail transport reads at every mail job.
struct MailSettings {
    QString profileName;  // MAPI ProfileName: the mailbox user
    QString password;     // MAPI Password
    QString store;        // MAPI Store: a Maildir folder or an imap:// / imaps:// URL
    QString tls;          // MAPI TLS: "required", "try" (empty: the default) or "none", for imap://
    QString caFile;       // MAPI CAFILE: the certificates (PEM) the server's is checked against
    QString timeout;      // MAPI TIMEOUT: seconds a server may stay silent; empty: the default
    QString mailText;     // MAIL MAIL-TEXT with "\n" expanded to CR LF; unused by reception
    QStringList cutKeys;  // ProfileName or Password when its value was longer than its buffer and was cut
};
MailSettings readMailSettings(const IniFile& ini);

// Section ALERT: who hears of a job that failed, was interrupted, or received nothing from a
// centre that always sends. Read at every job's end.
struct AlertSettings {
    QString command;            // COMMAND: a shell command line run per alert
    QStringList noDataCentres;  // NODATA: comma-separated centre codes whose empty receptions alert too
    int timeLimitSeconds = 60;  // TIMELIMIT: how long the command and the mail may take
    QString mailTo;             // MAILTO: comma-separated addresses of a short mail per alert
    QString mailFrom;           // MAILFROM: the sender (default edi-auto@ the machine's name)
    QString smtpUrl;            // SMTP: smtp://host:port or smtps://host:port
    QString smtpUser;           // SMTPUSER
    QString smtpPassword;       // SMTPPASSWORD
    bool lostHeartbeats = false;  // LOSTHEARTBEAT=1: also when another workstation's scheduler stops answering

    bool any() const { return !command.isEmpty() || !mailTo.isEmpty(); }
};
AlertSettings readAlertSettings(const IniFile& ini);

}  // namespace edi
