#pragma once

#include <QString>
#include <QStringList>

namespace edi {

class JobContext;
class JobFiles;
struct ControlRow;

// The received files the job's conversion starts from, as full paths: the received CII file of a
// CII centre (none while it is missing); the XML files of an XML centre in the centre's receive
// folder or, when there are none, in the received-files folder under the job's own name.
QStringList receivedDataFiles(const ControlRow& centre, const JobFiles& files);

// CollectReceivedFiles, the job's conversion step: for an XML centre every received XML file of
// the job is converted and appended to the job's CII file, one history row each ("33"/"34");
// then the CII file becomes the local record files (one "31" row). XML files are looked for in
// the centre's receive folder and, when there are none, in the received-files folder under the
// job's own name. Returns "0000" or "9999"; a file whose conversion fails ends the step, with
// the converter's code in its history row.
QString collectReceivedFiles(JobContext& job, const QString& centreCode, qint32 serial);

}  // namespace edi
