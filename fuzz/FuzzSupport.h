#pragma once

#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/LocalCiiConverter.h"
#include "convert/localcii/Layout.h"
#include "convert/localcii/MessageGroupHeader.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace edi::fuzz {

// A folder of this process on tmpfs (/dev/shm when it exists), removed at exit.
const std::string& scratchFolder();

// One input's files in the scratch folder: the input file, and an empty folder for what the
// conversion writes; both are removed when the run ends.
class ScratchRun {
public:
    ScratchRun(const std::string& inputName, const uint8_t* data, size_t size);
    ~ScratchRun();
    ScratchRun(const ScratchRun&) = delete;
    ScratchRun& operator=(const ScratchRun&) = delete;

    const std::string input;
    const std::string outputs;
};

// A conversion as the targets run it: a fresh context, so that each input stands alone, and the
// log ERR.LOG in the output path's folder.
ConversionResult convertCiiXmlFile(FormatMasters& masters, const std::string& inputPath, const std::string& outputPath,
                                   CiiXmlDirection direction);
// The local conversion to OUTPUT_FOLDER/OUT.LOC, on a fixed clock.
ConversionResult convertLocalFile(FormatMasters& masters, const std::string& inputPath,
                                  const std::string& outputFolder);
// Replaces a file's content.
void writeWholeFile(const std::string& path, const uint8_t* data, size_t size);
// The bytes repeated until they reach at least `least` (none stay none).
std::vector<uint8_t> repeated(const uint8_t* data, size_t size, size_t least);

// Prints a conversion's result code, its log and the sizes of the files in the output folder
// (for looking at what an input does).
void describeRun(const ConversionResult& result, const std::string& outputFolder);

// With EDI_FUZZ_KEEP set to a folder, copies a run's output folder there (replacing what an
// earlier run left), so that a finding's files can be looked at.
void keepOutputs(const std::string& outputFolder);

// A result as the converters give it: four digits, and a reason told exactly when they are not "0000".
bool isWellFormedResult(const ConversionResult& result);
// The names of the files in a folder, sorted.
std::vector<std::string> fileNamesIn(const std::string& folder);
// Reads a whole file; an empty array when it does not exist.
QByteArray readWholeFile(const std::string& path);
// Whether an XML document parses: it is converted to CII against the fixed masters in a folder
// of its own. Empty when it does; otherwise the conversion log's error, which tells where.
std::string xmlParseProblem(const std::string& documentPath);

// One item of a fixed layout; the local side packs the positions in order unless given.
struct FixedItem {
    qint32 level = 0;
    qint32 number = 0;
    const char* attribute = "X";
    qint32 length = 0;
    qint32 decimals = 0;
    qint32 multiDetail = 0;
    qint32 repeat = 0;
    qint32 position = 0;  // local position; 0: next free byte
};

// The fixed formats of the fuzz targets, by information class:
//   0101 the demo's firm order: one group, one- and two-byte tags
//   0201 a group inside a group, numbered groups (one above 255), three-byte tags, N and Y items
//   0301 a group of 800 occurrences
//   0401 a local side that differs: other attributes, overlapping positions, a position past the
//        record, decimals at level 0, a level skipped, a repeat count of 0, a binary item, a
//        group whose item number is a data element's tag
struct FixedFormat {
    QString infoClass;
    QString bpid;
    QString characterMode;  // XML文字コード
    std::vector<FixedItem> cii;
    std::vector<FixedItem> local;  // empty: as cii
};
const std::vector<FixedFormat>& fixedFormats();

std::vector<LayoutItem> layoutRows(const std::vector<FixedItem>& items, bool local);

// Masters held in memory: the fixed formats by information class; any other non-empty class
// gets one of them chosen by its characters, so that mutated headers still reach the bodies.
// An empty (blank) class has no format.
class FixedMasters final : public FormatMasters {
public:
    std::optional<FormatMasterRow> lookUpFormat(const QString& infoClass, const QString& bpid) override;
    std::vector<LayoutItem> layoutRows(QChar kind, const QString& infoClass, const QString& bpid) override;

private:
    const FixedFormat* formatFor(const QString& infoClass) const;
};

// Masters that hand out the layouts they are given.
class GivenMasters final : public FormatMasters {
public:
    std::vector<LayoutItem> cii;
    std::vector<LayoutItem> local;
    std::optional<FormatMasterRow> lookUpFormat(const QString&, const QString&) override;
    std::vector<LayoutItem> layoutRows(QChar kind, const QString&, const QString&) override
    {
        return kind == u'E' ? cii : local;
    }
};

// Message-group header fields as a writer fills them.
MessageGroupHeader groupHeader(const QString& infoClass, const QString& bpid, char storageMode,
                               char doubleByteCode = 'M', const char* storageFlag = nullptr);

// Message bodies element by element, as a CII writer emits them.
class BodyWriter {
public:
    BodyWriter& element(qint32 tag, const QByteArray& value);
    BodyWriter& twoByteSection();
    BodyWriter& group();                // X'FA' in the one-byte section
    BodyWriter& group(qint32 number);   // X'FA' n or X'FD' n n in the two-byte section
    BodyWriter& next();                 // X'FB'
    BodyWriter& end();                  // X'FC'
    BodyWriter& raw(const QByteArray& bytes);
    const QByteArray& bytes() const { return bytes_; }

private:
    QByteArray bytes_;
    bool twoByte_ = false;
};

QByteArray sjis(const char* utf8);

}  // namespace edi::fuzz
