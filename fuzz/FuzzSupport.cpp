#include "FuzzSupport.h"

#include "app/Clock.h"
#include "app/text/ShiftJis.h"
#include "convert/ciixml/CiiXmlConverter.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace edi::fuzz {

namespace fs = std::filesystem;

const std::string& scratchFolder()
{
    // Never destroyed: the exit handler that removes the folder runs after static destructors.
    static const std::string* const folder = [] {
        const fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const auto* path = new std::string((base / ("edi-fuzz-" + std::to_string(getpid()))).string());
        fs::create_directories(*path);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(*folder, ignored);
        });
        return path;
    }();
    return *folder;
}

ScratchRun::ScratchRun(const std::string& inputName, const uint8_t* data, size_t size)
    : input(scratchFolder() + "/" + inputName)
    , outputs(scratchFolder() + "/run")
{
    writeWholeFile(input, data, size);
    fs::create_directories(outputs);
}

ScratchRun::~ScratchRun()
{
    std::error_code ignored;
    fs::remove_all(outputs, ignored);
    fs::remove(input, ignored);
}

ConversionResult convertCiiXmlFile(FormatMasters& masters, const std::string& inputPath, const std::string& outputPath,
                                   CiiXmlDirection direction)
{
    ConversionContext context;
    ConversionLog log(QString::fromStdString((fs::path(outputPath).parent_path() / "ERR.LOG").string()));
    return convertCiiXml(masters, context, log, 1, QString::fromStdString(inputPath),
                         QString::fromStdString(outputPath), {}, direction);
}

ConversionResult convertLocalFile(FormatMasters& masters, const std::string& inputPath,
                                  const std::string& outputFolder)
{
    ConversionContext context;
    const ManualClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)));
    ConversionLog log(QString::fromStdString(outputFolder + "/ERR.LOG"));
    return convertLocalCii(masters, context, log, clock, 1, QString::fromStdString(inputPath),
                           QString::fromStdString(outputFolder + "/OUT.LOC"));
}

void writeWholeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
}

std::vector<uint8_t> repeated(const uint8_t* data, size_t size, size_t least)
{
    std::vector<uint8_t> out;
    if (size == 0)
        return out;
    out.reserve(least + size);
    while (out.size() < least)
        out.insert(out.end(), data, data + size);
    return out;
}

void describeRun(const ConversionResult& result, const std::string& outputFolder)
{
    std::fprintf(stderr, "result %s %s\n", result.code.toUtf8().constData(), result.failure.toUtf8().constData());
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(outputFolder, ignored)) {
        if (entry.path().filename() == "ERR.LOG") {
            std::FILE* log = std::fopen(entry.path().c_str(), "rb");
            char line[512];
            while (log && std::fgets(line, sizeof line, log))
                std::fprintf(stderr, "  log %s", threadShiftJis().decode(QByteArrayView(line)).toUtf8().constData());
            if (log)
                std::fclose(log);
        } else {
            std::fprintf(stderr, "  %s %ju bytes\n", entry.path().filename().c_str(),
                         std::uintmax_t(entry.file_size(ignored)));
        }
    }
}

void keepOutputs(const std::string& outputFolder)
{
    const char* keep = std::getenv("EDI_FUZZ_KEEP");
    if (!keep || !*keep)
        return;
    std::error_code ignored;
    fs::remove_all(keep, ignored);
    fs::copy(outputFolder, keep, fs::copy_options::recursive, ignored);
}

bool isWellFormedResult(const ConversionResult& result)
{
    if (result.code.size() != 4)
        return false;
    for (QChar c : result.code) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return (result.code == u"0000"_s) == result.failure.isEmpty();
}

std::vector<std::string> fileNamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray readWholeFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string xmlParseProblem(const std::string& documentPath)
{
    const std::string folder = scratchFolder() + "/parse";
    fs::create_directories(folder);
    FixedMasters masters;
    const ConversionResult result =
        convertCiiXmlFile(masters, documentPath, folder + "/OUT.CII", CiiXmlDirection::XmlToCii);
    std::string problem;
    if (result.code == u"0002"_s) {
        for (const QString& line : threadShiftJis().decode(readWholeFile(folder + "/ERR.LOG")).split(u"\r\n"_s)) {
            if (line.startsWith(u"0002"_s))
                problem = line.toStdString();
        }
        if (problem.empty())
            problem = "result 0002";
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return problem;
}

QByteArray sjis(const char* utf8) { return threadShiftJis().encode(QString::fromUtf8(utf8)); }

const std::vector<FixedFormat>& fixedFormats()
{
    static const std::vector<FixedFormat> formats{
        {u"0101"_s, u"DEMO0101"_s, u"M"_s,
         {{0, 1, "X", 10}, {0, 2, "Y", 8}, {0, 3, "K", 20}, {0, 4, "X", 6},
          {0, 5, "M", 0, 0, 1, 5},
          {1, 101, "X", 15}, {1, 102, "K", 30}, {1, 103, "9", 7, 2}, {1, 104, "9", 9, 2}, {1, 105, "Y", 8},
          {0, 1001, "K", 40}},
         {}},
        {u"0201"_s, u"FUZZ0201"_s, u"U"_s,
         {{0, 1, "X", 12}, {0, 2, "Y", 6}, {0, 3, "K", 30}, {0, 4, "N", 9}, {0, 5, "X", 300},
          {0, 6, "M", 0, 0, 1, 12},
          {1, 201, "X", 10}, {1, 202, "K", 20}, {1, 203, "9", 8, 3}, {1, 204, "N", 7},
          {1, 205, "M", 0, 0, 2, 4},
          {2, 301, "Y", 8}, {2, 302, "9", 6}, {2, 303, "X", 5},
          {0, 1001, "K", 40},
          {0, 7, "M", 0, 0, 300, 3}, {1, 401, "X", 20},
          {0, 70000, "X", 8}},
         {}},
        {u"0301"_s, u"FUZZ0301"_s, u"S"_s,
         {{0, 1, "X", 16}, {0, 2, "Y", 8}, {0, 3, "K", 40},
          {0, 4, "M", 0, 0, 1, 800},
          {1, 11, "X", 14}, {1, 12, "K", 24}, {1, 13, "9", 11, 2}, {1, 14, "N", 9}, {1, 15, "Y", 8},
          {0, 20, "9", 5}},
         {}},
        {u"0401"_s, u"FUZZ0401"_s, {},
         {{0, 1, "X", 5}, {0, 2, "9", 6, 2}, {0, 3, "N", 6}, {0, 4, "K", 6}, {0, 5, "Y", 6}, {0, 6, "B", 4},
          {0, 7, "M", 0, 0, 3, 0},
          {2, 8, "X", 3},
          {1, 7, "9", 4},
          {0, 9, "M", 0, 0, 4, 2}, {1, 10, "Y", 8}, {1, 11, "K", 3},
          {0, 12, "X", 8}},
         {{0, 1, "K", 5}, {0, 2, "X", 6, 0, 0, 0, 3}, {0, 3, "Y", 3, 0, 0, 0, 1}, {0, 4, "X", 6}, {0, 5, "9", 8, 1},
          {0, 6, "X", 4},
          {0, 7, "M", 0, 0, 3, 0},
          {2, 8, "N", 2, 1},
          {1, 7, "9", 2},
          {0, 9, "M", 0, 0, 4, 2, 40}, {1, 10, "9", 4}, {1, 11, "K", 3},
          {0, 12, "X", 8, 0, 0, 0, 5000}}},
    };
    return formats;
}

std::vector<LayoutItem> layoutRows(const std::vector<FixedItem>& items, bool local)
{
    std::vector<LayoutItem> rows;
    // Packing: a group's occurrences follow each other; the cursor moves past them when an item
    // of the group's level or lower comes.
    struct Open {
        size_t row;
        qint32 start;
    };
    std::vector<Open> open;
    qint32 cursor = 1;
    auto close = [&](qint32 level) {
        while (!open.empty() && items[open.back().row].level >= level) {
            const Open group = open.back();
            open.pop_back();
            const qint32 occurrences = std::max(1, items[group.row].repeat);
            cursor = group.start + (cursor - group.start) * occurrences;
        }
    };
    for (size_t i = 0; i < items.size(); ++i) {
        const FixedItem& fixed = items[i];
        close(fixed.level);
        LayoutItem item;
        item.serial = qint32(i + 1);
        item.counterpartSerial = qint32(i + 1);
        item.level = fixed.level;
        item.itemNumber = fixed.number;
        item.attribute = QString::fromLatin1(fixed.attribute);
        item.length = fixed.length;
        item.decimals = fixed.decimals;
        item.multiDetailNumber = QString::number(fixed.multiDetail);
        item.repeatCount = fixed.repeat;
        item.name = u"項目%1"_s.arg(i + 1);
        if (local) {
            const qint32 position = fixed.position != 0 ? fixed.position : cursor;
            item.position = QString::number(position);
            if (item.isGroup()) {
                cursor = position;
                open.push_back({i, position});
            } else if (fixed.position == 0) {
                cursor += item.fieldWidth();
            }
        }
        rows.push_back(item);
    }
    return rows;
}

const FixedFormat* FixedMasters::formatFor(const QString& infoClass) const
{
    if (infoClass.isEmpty())
        return nullptr;
    const std::vector<FixedFormat>& formats = fixedFormats();
    int sum = 0;
    for (const FixedFormat& format : formats) {
        if (format.infoClass == infoClass)
            return &format;
    }
    for (QChar c : infoClass)
        sum += c.unicode();
    return &formats[size_t(sum) % formats.size()];
}

std::optional<FormatMasterRow> FixedMasters::lookUpFormat(const QString& infoClass, const QString&)
{
    const FixedFormat* format = formatFor(infoClass);
    if (!format)
        return std::nullopt;
    return FormatMasterRow{u"FUZZ"_s, u"CII300"_s, u"M"_s, u"K"_s, u"M"_s, u"FIX"_s, format->characterMode};
}

std::vector<LayoutItem> FixedMasters::layoutRows(QChar kind, const QString& infoClass, const QString&)
{
    const FixedFormat* format = formatFor(infoClass);
    if (!format)
        return {};
    const bool local = kind == u'L';
    return fuzz::layoutRows(local && !format->local.empty() ? format->local : format->cii, local);
}

std::optional<FormatMasterRow> GivenMasters::lookUpFormat(const QString&, const QString&)
{
    return FormatMasterRow{u"FUZZ"_s, u"CII300"_s, u"M"_s, u"K"_s, u"M"_s, u"FIX"_s, u"M"_s};
}

MessageGroupHeader groupHeader(const QString& infoClass, const QString& bpid, char storageMode, char doubleByteCode,
                               const char* storageFlag)
{
    MessageGroupHeader header;
    header.fill(1, FixedRecord::kSize, QString());
    header.fill(26, 12, u"SENDER01"_s);
    header.fill(62, 12, u"RECEIVER01"_s);
    header.fill(74, 8, bpid);
    header.fill(94, 4, infoClass);
    header.fill(104, 2, storageFlag ? QString::fromLatin1(storageFlag) : storageMode == 'S' ? u"10"_s : u"11"_s);
    header.fill(116, 12, u"261208093000"_s);
    header.fill(146, 1, u"E"_s);
    header.data()[146] = storageMode;
    header.data()[148] = doubleByteCode;
    return header;
}

BodyWriter& BodyWriter::element(qint32 tag, const QByteArray& value)
{
    appendDataElement(bytes_, tag, value, twoByte_);
    return *this;
}

BodyWriter& BodyWriter::twoByteSection()
{
    twoByte_ = true;
    bytes_ += '\xF0';
    return *this;
}

BodyWriter& BodyWriter::group()
{
    appendGroupStart(bytes_, 0, false);
    return *this;
}

BodyWriter& BodyWriter::group(qint32 number)
{
    appendGroupStart(bytes_, number, true);
    return *this;
}

BodyWriter& BodyWriter::next()
{
    bytes_ += '\xFB';
    return *this;
}

BodyWriter& BodyWriter::end()
{
    bytes_ += '\xFC';
    return *this;
}

BodyWriter& BodyWriter::raw(const QByteArray& bytes)
{
    bytes_ += bytes;
    return *this;
}

}  // namespace edi::fuzz
