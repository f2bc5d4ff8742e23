#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace edi::test {
namespace {

QString fromEnvironment(const char* variable, const QString& relative)
{
    const QString root = qEnvironmentVariable(variable);
    if (root.isEmpty())
        throw std::runtime_error(std::string(variable) + " is not set; run the tests through ctest");
    return QDir(root).filePath(relative);
}

}  // namespace

QString sourcePath(const QString& relative) { return fromEnvironment("EDI_SOURCE_DIR", relative); }
QString buildPath(const QString& relative) { return fromEnvironment("EDI_BUILD_DIR", relative); }

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

}  // namespace edi::test
