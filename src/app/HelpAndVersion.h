#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace edi {

// A command line that asks for --help (or -h) or --version anywhere: the help text, or the program's
// name and version, goes to standard output and the exit status is 0. Nothing for other command
// lines, which the program reads itself.
std::optional<int> answerHelpOrVersion(const QStringList& arguments, const QString& program, const QString& help);

// The configuration file a command line names: --ini when given, otherwise the environment
// variable EDI_INI; empty when neither does (the file two folders above the program then).
QString requestedConfigurationPath(const QString& iniOption);

}  // namespace edi
