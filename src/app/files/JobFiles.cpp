#include "app/files/JobFiles.h"

#include "app/files/FileHelpers.h"
#include "app/text/TextHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {

JobFiles::JobFiles(QString receivedFolder, qint64 serial, const QString& centreCode)
    : receivedFolder_(std::move(receivedFolder))
{
    const std::optional<QString> centre = fileNameCentreCode(centreCode);
    if (!centre)
        throw std::invalid_argument("a centre code has at most 12 characters");
    baseName_ = serialText(serial) + u"_RCV_"_s + *centre;
}

QStringList JobFiles::xmlFilesIn(const QString& folder) const
{
    QStringList found;
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists())
        return found;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        if (patternMatches(xmlPattern(), name) && !isPartialUploadName(name) && QFileInfo(dir.filePath(name)).isFile())
            found << dir.filePath(name);
    }
    return found;
}

QStringList JobFiles::serialFilesIn(const QString& folder, qint64 serial)
{
    const QDir dir(folder);
    QStringList files;
    for (const QString& name : dir.entryList({serialText(serial) + u'*'}, QDir::Files, QDir::Name))
        files << dir.filePath(name);
    return files;
}

QString JobFiles::joinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty() || folder.endsWith(u'/') || folder.endsWith(u'\\'))
        return folder + name;
    return folder + u'/' + name;
}

}  // namespace edi
