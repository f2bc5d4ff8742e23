#include "transport/HandOver.h"

#include "app/ResultCode.h"
#include "app/files/FileHelpers.h"
#include "app/files/JobFiles.h"
#include "app/text/TextHelpers.h"
#include "transport/SettledFile.h"
#include "transport/TransferCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {

HandOverClaim::HandOverClaim(QString handOverPath, qint32 serial, QString receivedFile, QString source)
    : handOverPath_(std::move(handOverPath))
    , source_(source.isEmpty() ? handOverPath_ : std::move(source))
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
    switch (renameWithoutReplacing(claimPath_, source_)) {
    case FileStatus::Done:
        return u"持込ファイルを元に戻しました: "_s + source_;
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

namespace {

TransferReceipt failedReceipt(QString note)
{
    return {ResultCode::failed, std::move(note), {}};
}

// Claims the settled file `source` for the job (a rename in its own folder: of two jobs at the
// same file, one finds nothing), copies it to `target` and compares the copy with it.
TransferReceipt takeHandOver(const HandOverRequest& request, const QString& source, const QString& target)
{
    const QString claim = HandOverClaim::claimPath(request.filePath, request.serial);
    if (std::rename(QFile::encodeName(source).constData(), QFile::encodeName(claim).constData()) != 0) {
        if (errno == ENOENT)
            return nothingTaken(SourceFinding::NoData, u"受信データなし: 持込ファイル %1 がありません"_s.arg(source));
        return failedReceipt(u"持込ファイルを取り込めません: "_s + source);
    }
    const FileState taken = fileStateOf(claim);
    auto claimed = std::make_unique<HandOverClaim>(request.filePath, request.serial, target, source);
    if (copyFile(claim, target) != FileStatus::Done)
        return failedReceipt(u"受信フォルダに書き込めません: "_s + target + u"; "_s + claimed->giveBack());
    // A writer this machine cannot see may still have written into the file after its claim.
    if (const QString changed = copyDiffers(claim, taken, target, request.settleSeconds > 0); !changed.isEmpty()) {
        const QString note = u"書込み中のため受信せず: 持込ファイル %1 を取り込む間に変わったため戻しました (%2); "_s.arg(source, changed)
                           + claimed->giveBack();
        // Left under its claim, no later reception would find it: the operator must hear of it.
        if (QFileInfo::exists(claim))
            return failedReceipt(note);
        return nothingTaken(SourceFinding::NotSettled, note);
    }
    return {ResultCode::ok, u"持込ファイル %1 を %2 として受信しました"_s.arg(source, target), std::move(claimed)};
}

// Of the candidates, the first that is settled is taken; nothing settled is left for later.
TransferReceipt takeFirstSettled(const HandOverRequest& request, const QStringList& candidates, const QString& target)
{
    QStringList unsettled;
    for (const QString& source : candidates) {
        const QString why = unsettledReason(source, request.settleSeconds);
        if (why.isEmpty())
            return takeHandOver(request, source, target);
        unsettled << why;
    }
    return nothingTaken(SourceFinding::NotSettled, u"書込み中のため受信せず: 持込ファイル "_s + unsettled.join(u"; "_s));
}

}  // namespace

QStringList handOverCandidates(const QString& handOverPath)
{
    const QFileInfo handOver(handOverPath);
    QStringList candidates;
    if (handOver.exists())
        candidates << handOverPath;
    const QString returned = handOver.fileName() + u".returned-"_s;
    QFileInfoList beside;
    for (const QFileInfo& file : handOver.dir().entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (file.fileName().startsWith(returned) && !isPartialUploadName(file.fileName().mid(returned.size())))
            beside << file;
    }
    std::stable_sort(beside.begin(), beside.end(),
                     [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() < b.lastModified(); });
    for (const QFileInfo& file : beside)
        candidates << file.filePath();
    return candidates;
}

TransferReceipt runHandOver(HandOverRequest& request, const QString& receivedFolder)
{
    request.resultCode = ResultCode::failed;
    const QString extension = receivedFileExtension(request.dataFormat);
    if (extension.isEmpty() || !isReceptionDirection(request.direction))
        return failedReceipt(u"持込の受信要求が正しくありません (送受信データ形式 \"%1\")"_s.arg(request.dataFormat));
    QString target;
    try {
        const JobFiles files(receivedFolder, request.serial, request.centreCode);
        target = files.inReceivedFolder(files.baseName() + u'.' + extension);
    } catch (const std::invalid_argument&) {
        return failedReceipt({});
    }
    if (const QString kind = specialFileKind(request.filePath); !kind.isEmpty())
        return failedReceipt(u"持込ファイルの場所 %1 はファイルではなく%2です"_s.arg(request.filePath, kind));
    const QStringList candidates = handOverCandidates(request.filePath);
    TransferReceipt receipt = candidates.isEmpty()
                                ? nothingTaken(SourceFinding::NoData, u"受信データなし: 持込ファイル %1 がありません"_s.arg(request.filePath))
                                : takeFirstSettled(request, candidates, target);
    request.resultCode = receipt.code;
    return receipt;
}

}  // namespace edi
