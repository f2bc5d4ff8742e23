#include "convert/localcii/LocalCiiConverter.h"

#include "convert/localcii/BodyDecoder.h"
#include "convert/localcii/CiiFileReader.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/ConversionRun.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/LocalRecord.h"
#include "convert/localcii/ValueConversion.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using namespace ConversionCode;

constexpr qint64 kProgressStep = 16 << 20;

// An output file opened for appending. Lines are assembled in place in its buffer, which goes
// to the file whole: a record is copied once, from its blank to the buffer.
class LocalOutput {
public:
    // Reached with the file open only while a failure unwinds: what was committed is written,
    // and that failure is the one told.
    ~LocalOutput()
    {
        if (file_) {
            std::fwrite(buffer_.data(), 1, size_t(used_), file_);
            std::fclose(file_);
        }
    }

    void open(const QString& path)
    {
        if (file_ && path == path_)
            return;
        close();
        file_ = std::fopen(QFile::encodeName(path).constData(), "ab");
        if (!file_)
            throw ConversionIoError(u"Cannot write "_s + path);
        std::setvbuf(file_, nullptr, _IONBF, 0);  // the buffer below is the only one
        path_ = path;
    }

    // Room for a line of size bytes, valid until the next call; it is written once committed.
    char* beginLine(qsizetype size)
    {
        if (used_ + size > qsizetype(buffer_.size())) {
            flush();
            if (size > qsizetype(buffer_.size()))
                buffer_.resize(size_t(size));
        }
        pending_ = size;
        return buffer_.data() + used_;
    }
    void commitLine()
    {
        used_ += pending_;
        pending_ = 0;
    }

    void close()
    {
        if (!file_)
            return;
        flush();
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!ok)
            throw ConversionIoError(u"Cannot write "_s + path_);
    }

private:
    void flush()
    {
        if (used_ > 0 && std::fwrite(buffer_.data(), 1, size_t(used_), file_) != size_t(used_))
            throw ConversionIoError(u"Cannot write "_s + path_);
        used_ = 0;
    }

    std::vector<char> buffer_ = std::vector<char>(size_t(1) << 20);
    qsizetype used_ = 0;
    qsizetype pending_ = 0;
    std::FILE* file_ = nullptr;
    QString path_;
};

// A format's masters made ready for decoding and placing. They are read once per run: a file of
// many message groups of one format asks the database once.
struct GroupFormat {
    FormatMasterRow row;
    Layout cii;
    Layout local;
    std::optional<LocalRecordLayout> record;
    // Per CII item, what placing its values needs, in one place for the hot path.
    struct ItemPlan {
        qint32 local = 0;  // its local counterpart, 0 for none
        LocalConversion conversion = LocalConversion::Unsupported;
        const LayoutItem* ciiItem = nullptr;
        const LayoutItem* localItem = nullptr;
        const Placement* placement = nullptr;
    };
    std::vector<ItemPlan> plans;
};

// One run over one CII file: the framing handler and the body consumer of the local direction.
class LocalRun {
public:
    LocalRun(FormatMasters& masters, ConversionContext& context, ConversionLog& log, CiiInput& input,
             const QString& outputPath, const ConversionProgress& progress, ConversionCounts& counts)
        : masters_(masters), context_(context), log_(log), input_(input), outputPath_(outputPath),
          progress_(progress), counts_(counts), decoder_(input, noLayout_)
    {
    }

    void finish() { output_.close(); }

    // Framing events.
    bool header();
    void trailer() { output_.close(); }
    bool message(const MessagePrefix& prefix);
    void badIdentifier(bool firstNotDigit) { log_.warning(BadIdentifier, firstNotDigit ? u"-02"_s : u"-01"_s); }
    void truncated() { log_.error(Truncated); }
    void noHeader() { log_.error(NoFormat, missingHeaderText()); }

    // Body events.
    void element(qint32 index, std::span<const char> value, qint32 level);
    void groupStart(qint32, qint32, qint32, bool) {}
    void repetitionStart(qint32) {}
    void repetitionEnd(qint32) {}
    void groupEnd(qint32) {}
    void controlByteOutOfPlace(int code) { log_.warning(code); }
    void malformedLength() { log_.warning(BadLengthIndicator); }
    bool acceptsZeroLength()
    {
        log_.error(ZeroLength);
        return false;
    }

private:
    std::unique_ptr<GroupFormat> loadFormat(const QString& infoClass, const QString& bpid);
    void reportProgress();
    // Where the current occurrence of a local item goes; -1 (logged once per message) beyond
    // the occurrences the record has room for.
    qint64 fieldOffset(const GroupFormat::ItemPlan& plan);
    [[gnu::cold, gnu::noinline]] void logSurplus(const GroupFormat::ItemPlan& plan);

    FormatMasters& masters_;
    ConversionContext& context_;
    ConversionLog& log_;
    CiiInput& input_;
    QString outputPath_;
    const ConversionProgress& progress_;
    ConversionCounts& counts_;
    std::map<std::pair<QString, QString>, std::unique_ptr<GroupFormat>> formats_;  // by class and BPID
    const GroupFormat* format_ = nullptr;  // the current group's
    QByteArray linePrefix_;
    QString groupOutputPath_;  // the file of the group's information class
    Layout noLayout_;
    BodyDecoder decoder_;
    LocalOutput output_;
    std::span<char> record_;  // the line being assembled in the output's buffer
    std::string converted_;
    bool surplusLogged_ = false;
    qint64 nextProgress_ = kProgressStep;
};

bool LocalRun::header()
{
    format_ = nullptr;
    output_.close();
    const MessageGroupHeader& header = context_.header;
    const QString infoClass = header.infoClass();
    const QString bpid = header.bpid();
    std::unique_ptr<GroupFormat>& cached = formats_[{infoClass, bpid}];
    if (!cached)
        cached = loadFormat(infoClass, bpid);
    if (!cached)
        return false;  // the error is logged and ends the run
    format_ = cached.get();
    context_.format.format = format_->row;
    context_.format.characterMode = format_->row.xmlEncoding.isEmpty() ? QChar(u'M') : format_->row.xmlEncoding.front();
    decoder_.setLayout(format_->cii);
    linePrefix_ = header.linePrefix();
    groupOutputPath_ = localOutputPath(outputPath_, infoClass);
    output_.open(groupOutputPath_);
    return true;
}

std::unique_ptr<GroupFormat> LocalRun::loadFormat(const QString& infoClass, const QString& bpid)
{
    auto format = std::make_unique<GroupFormat>();
    const std::optional<FormatMasterRow> row = masters_.lookUpFormat(infoClass, bpid);
    if (!row) {
        log_.error(NoFormat);
        return nullptr;
    }
    format->row = *row;

    auto load = [&](QChar kind, int code, Layout& layout) {
        try {
            std::vector<LayoutItem> rows = masters_.layoutRows(kind, infoClass, bpid);
            if (rows.empty()) {
                log_.error(code);
                return false;
            }
            layout = Layout::load(std::move(rows));
            return true;
        } catch (const LayoutError& error) {
            log_.error(code, error.message());
            return false;
        }
    };
    if (!load(u'E', NoCiiLayout, format->cii) || !load(u'L', NoLocalLayout, format->local))
        return nullptr;
    try {
        format->record.emplace(format->local);
    } catch (const LayoutError& error) {
        log_.error(NoLocalLayout, error.message());
        return nullptr;
    }

    format->plans.resize(size_t(format->cii.size()));
    for (qint32 index = 1; index <= format->cii.size(); ++index) {
        const LayoutItem& cii = format->cii.item(index);
        const qint32 local = cii.counterpartSerial != 0 ? format->local.findBySerial(cii.counterpartSerial) : 0;
        GroupFormat::ItemPlan& plan = format->plans[size_t(index - 1)];
        plan.local = local;
        plan.ciiItem = &cii;
        if (local != 0) {
            plan.localItem = &format->local.item(local);
            plan.conversion = localConversionFor(cii, *plan.localItem);
            plan.placement = &format->record->placement(local);
        }
    }
    return format;
}

bool LocalRun::message(const MessagePrefix& prefix)
{
    if (!format_) {
        log_.error(NoFormat, missingHeaderText());
        return false;
    }
    // Every record starts as the blank record, after the line's prefix and before its CR LF.
    const QByteArray& blank = format_->record->blankRecord();
    output_.open(groupOutputPath_);  // again after a trailer that closed it
    char* line = output_.beginLine(linePrefix_.size() + blank.size() + 2);
    std::memcpy(line, linePrefix_.constData(), size_t(linePrefix_.size()));
    record_ = std::span<char>(line + linePrefix_.size(), size_t(blank.size()));
    std::memcpy(record_.data(), blank.constData(), size_t(blank.size()));
    std::memcpy(record_.data() + blank.size(), "\r\n", 2);
    surplusLogged_ = false;
    ++counts_.messagesRead;
    if (!bodyEndedWell(decoder_.decode(*this), log_))
        return false;
    if (input_.bodyBytesRead() != prefix.length + 1 - prefix.consumed)
        log_.warning(LengthMismatch, u"長さ違い"_s);
    output_.commitLine();
    ++counts_.recordsWritten;
    if (!skippedRestOfBlock(input_, context_.header, log_))
        return false;
    reportProgress();
    return log_.resultCode().isEmpty();
}

void LocalRun::element(qint32 index, std::span<const char> value, qint32 /*level*/)
{
    const GroupFormat::ItemPlan& plan = format_->plans[size_t(index - 1)];
    if (plan.local == 0)
        return;  // the local record does not carry this item
    const LayoutItem& localItem = *plan.localItem;
    const qsizetype width = plan.placement->width;
    // Text that fits its field, the most common value, goes straight in with its padding: what
    // the conversion and putIntoField would write, without the copy in between.
    if (plan.conversion == LocalConversion::Text && localItem.length <= width
        && qsizetype(value.size()) <= localItem.length) {
        const qint64 offset = fieldOffset(plan);
        if (offset >= 0)
            putPaddedText(record_, offset, value, localItem.length);
        return;
    }
    switch (convertCiiToLocal(plan.conversion, QByteArrayView(value.data(), qsizetype(value.size())), *plan.ciiItem,
                              localItem, context_.header.doubleByteCode(), converted_)) {
    case LocalValueStatus::UnsupportedPair:
        log_.warning(UnsupportedPair);
        return;
    case LocalValueStatus::NotNumeric:
        log_.warning(UnsupportedPair, u"数値不正 "_s + localItem.name);
        return;
    case LocalValueStatus::Converted:
        break;
    }
    const qint64 offset = fieldOffset(plan);
    if (offset >= 0)
        putIntoField(record_, offset, width, QByteArrayView(converted_.data(), qsizetype(converted_.size())));
}

qint64 LocalRun::fieldOffset(const GroupFormat::ItemPlan& plan)
{
    const qint64 offset =
        LocalRecordLayout::offsetIn(*plan.placement, [this](qint32 level) { return decoder_.repetition(level); });
    if (offset < 0)
        logSurplus(plan);
    return offset;
}

void LocalRun::logSurplus(const GroupFormat::ItemPlan& plan)
{
    // More occurrences than the local record has room for: the value is dropped.
    if (!surplusLogged_)
        log_.warning(OutOfPlace, u"繰返し数超過 "_s + plan.localItem->name);
    surplusLogged_ = true;
}

void LocalRun::reportProgress()
{
    if (progress_ && input_.offset() >= nextProgress_) {
        progress_(input_.offset(), input_.size());
        nextProgress_ = input_.offset() + kProgressStep;
    }
}

}  // namespace

QString localOutputPath(const QString& outputPath, const QString& infoClass)
{
    const QFileInfo file(outputPath);
    QString name = file.fileName();
    const qsizetype dot = name.indexOf(u'.');
    name.insert(dot < 0 ? name.size() : dot, infoClass);
    const QString folder = outputPath.left(outputPath.size() - file.fileName().size());
    return folder + name;
}

ConversionResult convertLocalCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                                 const Clock& clock, qint64 serial, const QString& inputPath,
                                 const QString& outputPath, const ConversionProgress& progress)
{
    ConversionCounts counts;
    ConversionResult result = runConversion(log, localStartLine(serial, clock), [&] {
        CiiInput input(inputPath);
        LocalRun run(masters, context, log, input, outputPath, progress, counts);
        readCiiFile(input, context.header, context.trailer, run);
        run.finish();
        if (progress)
            progress(input.offset(), input.size());
    });
    result.counts = counts;
    return result;
}

}  // namespace edi
