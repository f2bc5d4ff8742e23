#include "transport/HandOver.h"

#include "app/ResultCode.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "transport/TransferCodes.h"

#include <QFileInfo>
#include <stdexcept>

namespace edi {

QString runHandOver(HandOverRequest& request, const QString& receivedFolder)
{
    request.resultCode = ResultCode::failed;
    const QString extension = receivedFileExtension(request.dataFormat);
    if (extension.isEmpty() || !isReceptionDirection(request.direction) || !QFileInfo(request.filePath).isFile())
        return request.resultCode;
    try {
        const JobFiles files(receivedFolder, request.serial, request.centreCode);
        if (moveFile(request.filePath, files.inReceivedFolder(files.baseName() + u'.' + extension)) == FileStatus::Done)
            request.resultCode = ResultCode::ok;
    } catch (const std::invalid_argument&) {
    }
    return request.resultCode;
}

}  // namespace edi
