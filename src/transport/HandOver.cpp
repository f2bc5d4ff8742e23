#include "transport/HandOver.h"

#include "app/ResultCode.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/text/TextHelpers.h"
#include "transport/TransferCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {

HandOverClaim::HandOverClaim(QString handOverPath, qint32 serial, QString receivedFile)
    : handOverPath_(std::move(handOverPath))
    , claimPath_(claimPath(handOverPath_, serial))
    , receivedFile_(std::move(receivedFile))
    , serial_(serial)
{
}

HandOverClaim::~HandOverClaim()
{
    if (!settled_)
        giveBack();
}

QString HandOverClaim::claimPath(const QString& handOverPath, qint32 serial)
{
    const QFileInfo file(handOverPath);
    return file.dir().filePath(u'.' + file.fileName() + u".claim-"_s + serialText(serial));
}

QString HandOverClaim::release()
{
    settled_ = true;
    if (deleteFile(claimPath_) == FileStatus::Error)
        return u"受信済みの持込ファイルを削除できません: "_s + claimPath_;
    return {};
}

QString HandOverClaim::giveBack()
{
    settled_ = true;
    if (!receivedFile_.isEmpty())
        deleteFile(receivedFile_);
    switch (renameWithoutReplacing(claimPath_, handOverPath_)) {
    case FileStatus::Done:
        return u"持込ファイルを元に戻しました: "_s + handOverPath_;
    case FileStatus::NothingToDo: {
        const QString beside = unusedNameBeside(handOverPath_, u".returned-"_s + serialText(serial_));
        if (renameWithoutReplacing(claimPath_, beside) == FileStatus::Done)
            return u"持込ファイルの場所に新しいファイルがあるため、受信できなかったファイルを %1 として残しました"_s.arg(beside);
        break;
    }
    case FileStatus::Error:
        break;
    }
    return u"持込ファイルを元に戻せません。ファイルは %1 にあります"_s.arg(claimPath_);
}

TransferReceipt runHandOver(HandOverRequest& request, const QString& receivedFolder)
{
    TransferReceipt receipt{ResultCode::failed, {}, {}};
    request.resultCode = ResultCode::failed;
    const QString extension = receivedFileExtension(request.dataFormat);
    if (extension.isEmpty() || !isReceptionDirection(request.direction)) {
        receipt.note = u"持込の受信要求が正しくありません (送受信データ形式 \"%1\")"_s.arg(request.dataFormat);
        return receipt;
    }
    QString target;
    try {
        const JobFiles files(receivedFolder, request.serial, request.centreCode);
        target = files.inReceivedFolder(files.baseName() + u'.' + extension);
    } catch (const std::invalid_argument&) {
        return receipt;
    }
    // Taken by a rename in its own folder: of two jobs at the same file, one finds nothing.
    const QString claim = HandOverClaim::claimPath(request.filePath, request.serial);
    if (!QFileInfo(request.filePath).isFile()
        || std::rename(QFile::encodeName(request.filePath).constData(), QFile::encodeName(claim).constData()) != 0) {
        receipt.note = errno == ENOENT || !QFileInfo::exists(request.filePath)
                         ? u"受信データなし: 持込ファイル %1 がありません"_s.arg(request.filePath)
                         : u"持込ファイルを取り込めません: "_s + request.filePath;
        return receipt;
    }
    auto taken = std::make_unique<HandOverClaim>(request.filePath, request.serial, target);
    if (copyFile(claim, target) != FileStatus::Done) {
        receipt.note = u"受信フォルダに書き込めません: "_s + target + u"; "_s + taken->giveBack();
        return receipt;
    }
    receipt.code = request.resultCode = ResultCode::ok;
    receipt.note = u"持込ファイル %1 を %2 として受信しました"_s.arg(request.filePath, target);
    receipt.claim = std::move(taken);
    return receipt;
}

}  // namespace edi
