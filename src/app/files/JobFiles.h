#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// The names of a job's files: the serial as eight digits, "_RCV_", the centre code filled to
// 12 characters with "_", and the kind. Folder values of the configuration are prefixes that
// normally end with a separator; one is added when they do not.
class JobFiles {
public:
    // Throws std::invalid_argument for a centre code longer than 12 characters.
    JobFiles(QString receivedFolder, qint64 serial, const QString& centreCode);

    // serial + "_RCV_" + padded centre
    const QString& baseName() const { return baseName_; }
    QString receivedCii() const { return inReceivedFolder(baseName_ + QStringLiteral(".CII")); }
    QString receivedXml() const { return inReceivedFolder(baseName_ + QStringLiteral(".XML")); }
    QString localFile() const { return inReceivedFolder(baseName_ + QStringLiteral(".LOC")); }
    // The local file of one transaction category, as the registration program reads it.
    QString localCategoryFile(const QString& category) const
    {
        return inReceivedFolder(baseName_ + category + QStringLiteral(".LOC"));
    }
    // The pattern that finds the job's XML files among other names.
    QString xmlPattern() const { return baseName_ + QStringLiteral("*.XML"); }
    // The files of a folder whose names contain a match of the pattern (a regular expression,
    // case ignored), as full paths by name, but none of an upload or copy in progress
    // (isPartialUploadName); none for a folder that is not there.
    QStringList xmlFilesIn(const QString& folder) const;
    QString inReceivedFolder(const QString& name) const { return joinPath(receivedFolder_, name); }

    static QString joinPath(const QString& folder, const QString& name);
    // The files of a folder whose names begin with the serial, as full paths by name: every file
    // of the job there.
    static QStringList serialFilesIn(const QString& folder, qint64 serial);

private:
    QString receivedFolder_;
    QString baseName_;
};

}  // namespace edi
