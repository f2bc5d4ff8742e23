#include "app/HelpAndVersion.h"

#include "app/ConsoleOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

std::optional<int> answerHelpOrVersion(const QStringList& arguments, const QString& program, const QString& help)
{
    if (arguments.contains(u"--help"_s) || arguments.contains(u"-h"_s)) {
        writeStandardOutput(help);
        return 0;
    }
    if (arguments.contains(u"--version"_s)) {
        writeStandardOutput(program + u" " EDI_VERSION "\n"_s);
        return 0;
    }
    return std::nullopt;
}

QString requestedConfigurationPath(const QString& iniOption)
{
    return iniOption.isEmpty() ? qEnvironmentVariable("EDI_INI") : iniOption;
}

}  // namespace edi
