#include "convert/ciixml/CiiToXml.h"

#include "convert/ciixml/HeaderFields.h"
#include "convert/ciixml/XmlDocumentWriter.h"
#include "convert/ciixml/XmlLibrary.h"
#include "convert/localcii/BodyDecoder.h"
#include "convert/localcii/CiiFileReader.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"
#include "convert/localcii/ValueConversion.h"

#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using namespace ConversionCode;

constexpr QByteArrayView kLineBreak = "\r\n";

// A line break followed by the given number of spaces.
QByteArrayView lineBreak(qint32 spaces)
{
    static const QByteArray breaks = "\r\n" + QByteArray(Layout::kMaxLevel * 4, ' ');
    return QByteArrayView(breaks).first(2 + std::clamp<qint32>(spaces, 0, Layout::kMaxLevel * 4));
}

// An element or root name: anything but ASCII letters, digits, "-", "_" and "." becomes "_",
// so that the name is valid XML and every document encoding can write it.
QString elementName(const QString& name)
{
    QString result = name;
    for (QChar& c : result) {
        const char16_t u = c.unicode();
        const bool kept = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'-'
                       || u == u'_' || u == u'.';
        if (!kept)
            c = u'_';
    }
    return result;
}

// One run over one CII file: the framing handler and the body consumer of the XML direction.
class XmlRun {
public:
    XmlRun(FormatMasters& masters, ConversionContext& context, ConversionLog& log, CiiInput& input,
           const QString& outputPath)
        : masters_(masters), context_(context), log_(log), input_(input), outputPath_(outputPath),
          decoder_(input, context.ciiLayout)
    {
    }

    // Framing events.
    bool header();
    void trailer();
    // After the last block: a document whose trailer never came is dropped, and said so.
    void finish() { dropUnfinishedDocument(); }
    bool message(const MessagePrefix& prefix);
    void badIdentifier(bool) { log_.warning(BadIdentifier); }
    void truncated() { log_.error(Truncated); }
    void noHeader() { log_.error(NoFormat, missingHeaderText()); }

    // Body events.
    void element(qint32 index, std::span<const char> value, qint32 level);
    void groupStart(qint32 number, qint32 level, qint32 groupIndex, bool twoByteSection);
    void repetitionStart(qint32 level);
    void repetitionEnd(qint32 level);
    void groupEnd(qint32 level);
    void controlByteOutOfPlace(int) {}
    void malformedLength() { log_.warning(BadLengthIndicator); }
    bool acceptsZeroLength() { return true; }

private:
    bool loadFormat();
    void writeHeaderFields();
    void dropUnfinishedDocument()
    {
        if (document_ && log_.resultCode().isEmpty())
            log_.error(Truncated, u"トレーラがありません"_s);
        document_.reset();
    }

    FormatMasters& masters_;
    ConversionContext& context_;
    ConversionLog& log_;
    CiiInput& input_;
    QString outputPath_;
    const Layout& layout_ = context_.ciiLayout;
    BodyDecoder decoder_;
    std::unique_ptr<XmlDocumentWriter> document_;
    int groupCount_ = 0;
    std::vector<QByteArray> repetitionNames_;  // per open group
    // The message's open groups and repetitions, innermost last, with their levels: a message
    // that ends inside them has them closed as its groups would close them.
    struct Open {
        bool repetition;
        qint32 level;
    };
    std::vector<Open> open_;
    std::vector<QByteArray> elementNames_;     // "JP" + item number, per layout item
    QByteArray text_;
};

bool XmlRun::header()
{
    if (document_) {
        dropUnfinishedDocument();  // its error ends the run
        return false;
    }
    ++groupCount_;
    if (!loadFormat())
        return false;
    const QString encoding = xmlEncodingName(context_.format.format.xmlEncoding.isEmpty()
                                                 ? QChar(u'M')
                                                 : context_.format.format.xmlEncoding.front());
    document_ = std::make_unique<XmlDocumentWriter>(groupDocumentPath(outputPath_, groupCount_), encoding);
    context_.format.characterMode = u'M';  // values are always decoded as Shift-JIS
    document_->startElement(
        elementName(u"CII-"_s + context_.format.bpid + context_.format.infoClass + u"-V10"_s).toUtf8());
    document_->raw(kLineBreak);
    writeHeaderFields();
    return true;
}

bool XmlRun::loadFormat()
{
    FormatState& format = context_.format;
    format.bpid = context_.header.bpid();
    format.infoClass = context_.header.infoClass();
    const std::optional<FormatMasterRow> row = masters_.lookUpFormat(format.infoClass, format.bpid);
    if (!row) {
        log_.error(NoFormat);
        return false;
    }
    format.format = *row;
    try {
        std::vector<LayoutItem> rows = masters_.layoutRows(u'E', format.infoClass, format.bpid);
        if (rows.empty()) {
            log_.error(NoCiiLayout);
            return false;
        }
        context_.ciiLayout = Layout::load(std::move(rows));
    } catch (const LayoutError& error) {
        log_.error(NoCiiLayout, error.message());
        return false;
    }
    elementNames_.clear();
    for (const LayoutItem& item : layout_.items())
        elementNames_.push_back("JP" + QByteArray::number(item.itemNumber).rightJustified(5, '0'));
    return true;
}

void XmlRun::writeHeaderFields()
{
    document_->startElement("JPMGH");
    document_->raw(kLineBreak);
    for (const HeaderField& field : xmlHeaderFields()) {
        // Trailing spaces dropped, except from the record's first character.
        QString text = context_.header.text(field.position, field.width);
        if (field.element != std::u16string_view(u"JPC03")) {
            while (text.endsWith(u' '))
                text.chop(1);
        }
        document_->element(QString::fromUtf16(field.element).toLatin1(), text.toUtf8());
        document_->raw(kLineBreak);
    }
    document_->endElement();
}

void XmlRun::trailer()
{
    if (!document_)
        return;
    document_->raw(kLineBreak);
    document_->endElement();
    document_->finish();
    document_.reset();
}

bool XmlRun::message(const MessagePrefix& prefix)
{
    if (!document_) {
        log_.error(NoFormat, missingHeaderText());
        return false;
    }
    document_->raw(kLineBreak);
    document_->startElement("JPTRM", "SEQ", QByteArray::number(prefix.number));
    repetitionNames_.clear();
    open_.clear();
    if (!bodyEndedWell(decoder_.decode(*this), log_) || !skippedRestOfBlock(input_, context_.header, log_))
        return false;
    while (!open_.empty()) {  // the groups whose end the message lacks
        if (open_.back().repetition)
            repetitionEnd(open_.back().level);
        else
            groupEnd(open_.back().level);
    }
    document_->raw(kLineBreak);
    document_->endElement();
    return log_.resultCode().isEmpty();
}

void XmlRun::element(qint32 index, std::span<const char> value, qint32 level)
{
    document_->raw(lineBreak(level * 4));
    convertCiiValueToText(QByteArrayView(value.data(), qsizetype(value.size())), layout_.item(index),
                          context_.header.doubleByteCode(), context_.format.characterMode, text_);
    document_->element(elementNames_[size_t(index - 1)], text_);
}

void XmlRun::groupStart(qint32 number, qint32 level, qint32 groupIndex, bool twoByteSection)
{
    document_->raw(lineBreak(level * 4 - 2));
    document_->startElement("JPM" + QByteArray::number(number));
    // A repetition is named after its group item's number; an unknown group after the number read.
    const QString repetitionNumber = !twoByteSection ? u"0"_s
                                   : groupIndex != 0 ? layout_.item(groupIndex).multiDetailNumber.trimmed()
                                                     : QString::number(number);
    repetitionNames_.push_back(elementName(u"JPM"_s + repetitionNumber + u"R"_s).toUtf8());
    open_.push_back({false, level});
}

void XmlRun::repetitionStart(qint32 level)
{
    document_->raw(lineBreak(level * 4 - 2));
    document_->startElement(repetitionNames_.back());
    open_.push_back({true, level});
}

void XmlRun::repetitionEnd(qint32 level)
{
    document_->raw(lineBreak(level * 4 - 2));
    document_->endElement();
    open_.pop_back();
}

void XmlRun::groupEnd(qint32)
{
    document_->raw(kLineBreak);
    document_->endElement();
    repetitionNames_.pop_back();
    open_.pop_back();
}

}  // namespace

QString groupDocumentPath(const QString& outputPath, int group)
{
    if (group <= 1)
        return outputPath;
    const QFileInfo file(outputPath);
    QString name = file.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    name.insert(dot < 0 ? name.size() : dot, u"_%1"_s.arg(group));
    return outputPath.left(outputPath.size() - file.fileName().size()) + name;
}

void convertCiiToXml(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& inputPath, const QString& outputPath, const ConversionProgress& progress)
{
    CiiInput input(inputPath);
    XmlRun run(masters, context, log, input, outputPath);
    readCiiFile(input, context.header, context.trailer, run);
    run.finish();
    if (progress)
        progress(input.offset(), input.size());
}

}  // namespace edi
