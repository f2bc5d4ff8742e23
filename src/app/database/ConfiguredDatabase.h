#pragma once

#include "app/database/Database.h"

#include <QString>
#include <memory>
#include <stdexcept>

namespace edi {

// Why a command-line tool has no database: the configuration file is missing, or the database it
// names cannot be opened.
class ConfigurationError : public std::runtime_error {
public:
    explicit ConfigurationError(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// The configuration a command-line tool reads: --ini when given, else the file EDI_INI names,
// else EDI.ini two folders above the program's folder. Throws ConfigurationError when there is
// no such file.
QString toolConfigurationPath(const QString& iniOption, const QString& programFolder);

// The database the configuration names, connected. Throws ConfigurationError.
std::unique_ptr<Database> openConfiguredDatabase(const QString& configPath);

}  // namespace edi
