#include "transport/HandOver.h"

#include "app/files/FileHelpers.h"
#include "jobs/JobFiles.h"

#include <QFileInfo>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString extensionFor(const QString& dataFormat)
{
    if (QStringList{u"C"_s, u"c"_s, u"Ｃ"_s, u"ｃ"_s}.contains(dataFormat))
        return u"CII"_s;
    if (QStringList{u"X"_s, u"x"_s, u"Ｘ"_s, u"ｘ"_s}.contains(dataFormat))
        return u"XML"_s;
    return {};
}

bool isReception(const QString& direction)
{
    return QStringList{u"R"_s, u"Ｒ"_s, u"r"_s, u"ｒ"_s}.contains(direction);
}

}  // namespace

QString runHandOver(HandOverRequest& request, const QString& receivedFolder)
{
    request.resultCode = u"9999"_s;
    const QString extension = extensionFor(request.dataFormat);
    if (extension.isEmpty() || !isReception(request.direction) || !QFileInfo(request.filePath).isFile())
        return request.resultCode;
    try {
        const JobFiles files(receivedFolder, request.serial, request.centreCode);
        if (moveFile(request.filePath, files.inReceivedFolder(files.baseName() + u'.' + extension)) == FileStatus::Done)
            request.resultCode = u"0000"_s;
    } catch (const std::invalid_argument&) {
    }
    return request.resultCode;
}

}  // namespace edi
