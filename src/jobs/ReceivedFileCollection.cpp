#include "jobs/ReceivedFileCollection.h"

#include "app/ResultCode.h"
#include "app/files/JobFiles.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/localcii/LocalCiiConverter.h"
#include "jobs/ControlRow.h"
#include "jobs/JobContext.h"
#include "transport/TransferCodes.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>
#include <stdexcept>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The history's counts are 32-bit: a larger count is kept as the largest it can hold.
qint32 historyCount(qint64 count)
{
    return qint32(std::min<qint64>(count, std::numeric_limits<qint32>::max()));
}

// What the history keeps of the last XML file converted.
struct ConvertedFormat {
    QString bpid;
    QString infoClass;
    QString storageMode;
};

class Collection {
public:
    Collection(JobContext& job, const ControlRow& centre, qint32 serial, const JobFiles& files)
        : job_(job), centre_(centre), serial_(serial), files_(files)
    {
    }

    QString run()
    {
        if (isXmlDataFormat(centre_.dataFormat.toString()) && !convertXmlFiles())
            return ResultCode::failed;
        return convertToLocal() ? ResultCode::ok : ResultCode::failed;
    }

private:
    bool convertXmlFiles();
    bool convertToLocal();
    // A step row; false when the history could not take it (the step runs all the same).
    bool addStep(const QString& processingKind, HistoryStart& start)
    {
        start = {serial_, 0, u"R"_s, centre_.partnerKind, processingKind, centre_.centreCode, {}};
        return job_.history().addStep(start) == ResultCode::ok;
    }
    // Completes a conversion step's row with the format converted, what the converter counted,
    // its code and, on a failure, its reason.
    void closeStep(const HistoryStart& start, const ConversionResult& result, const QString& file)
    {
        HistoryCompletion completion;
        completion.serial = serial_;
        completion.branch = start.branch;
        completion.bpid = converted_.bpid;
        completion.transactionCategory = converted_.infoClass;
        completion.inputRecords = historyCount(result.counts.messagesRead);
        completion.outputRecords = historyCount(result.counts.recordsWritten);
        completion.storageMode = converted_.storageMode;
        completion.endCode = result.code;
        completion.detailCode = result.code;
        completion.fileName = file;
        if (!result.succeeded())
            completion.note = result.failure;
        job_.history().closeRow(completion);
    }

    JobContext& job_;
    const ControlRow& centre_;
    qint32 serial_;
    const JobFiles& files_;
    ConvertedFormat converted_;
};

bool Collection::convertXmlFiles()
{
    const QStringList taken = receivedDataFiles(centre_, files_);
    if (taken.isEmpty())
        return false;
    for (const QString& file : taken) {
        HistoryStart start;
        const bool recorded = addStep(file.right(3).toUpper() == u"CII"_s ? u"33"_s : u"34"_s, start);
        const ConversionResult result = convertCiiXml(job_.masters(), job_.conversions(), job_.ciiXmlLog(), serial_,
                                                      file, files_.receivedCii());
        const FormatState& format = job_.conversions().format;
        converted_ = {format.bpid, format.infoClass, format.format.storageMode};
        if (recorded)
            closeStep(start, result, file);
        if (!result.succeeded())
            return false;
    }
    return true;
}

bool Collection::convertToLocal()
{
    HistoryStart start;
    const bool recorded = addStep(u"31"_s, start);
    const ConversionResult result = convertLocalCii(job_.masters(), job_.conversions(), job_.localLog(), job_.clock(),
                                                    serial_, files_.receivedCii(), files_.localFile());
    if (recorded)
        closeStep(start, result, files_.receivedCii());
    return result.succeeded();
}

}  // namespace

QStringList receivedDataFiles(const ControlRow& centre, const JobFiles& files)
{
    if (!isXmlDataFormat(centre.dataFormat.toString()))
        return QFileInfo(files.receivedCii()).isFile() ? QStringList{files.receivedCii()} : QStringList{};
    const QStringList inReceiveFolder = files.xmlFilesIn(centre.receiveFilePath + u'/');
    // A file handed over or mailed lies in the received-files folder.
    return inReceiveFolder.isEmpty() ? files.xmlFilesIn(files.inReceivedFolder({})) : inReceiveFolder;
}

QString collectReceivedFiles(JobContext& job, const QString& centreCode, qint32 serial)
{
    const ControlRowLookup lookup = loadControlRow(job.database(), centreCode);
    if (!lookup.row)
        return ResultCode::failed;
    try {
        const JobFiles files(job.settings().paths.receivedFolder, serial, centreCode);
        return Collection(job, *lookup.row, serial, files).run();
    } catch (const std::invalid_argument&) {
        return ResultCode::failed;
    }
}

}  // namespace edi
