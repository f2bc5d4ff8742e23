#include "convert/ciixml/XmlToCii.h"

#include "convert/ciixml/CiiAppendFile.h"
#include "convert/ciixml/HeaderFields.h"
#include "convert/ciixml/MessageEncoder.h"
#include "convert/ciixml/XmlEventReader.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"

#include <QFileInfo>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

using NotWellFormed = XmlEventReader::NotWellFormed;

// Positions the header takes from no element: blank, and "E" at 146.
constexpr std::pair<int, int> kBlankFields[] = {{82, 12}, {98, 3}, {101, 3}, {128, 12}, {150, 1}, {151, 5}, {156, 5}, {180, 70}};

// The number a name carries after its prefix: its leading digits (0 when there are none),
// at most 99999999.
qint64 nameNumber(QByteArrayView digits)
{
    qint64 number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            break;
        number = std::min<qint64>(number * 10 + (c - '0'), 99999999);
    }
    return number;
}

// The number of a group element ("JPM" and its digits): 0 to 32767, written in digits alone;
// anything else names no group.
std::optional<qint32> groupNumber(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    qint32 number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number <= 32767 ? std::optional<qint32>(number) : std::nullopt;
}

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);
    return text;
}

// The text content of an element: the texts of its descendants, at most kMaxTextBytes kept and
// what goes beyond counted. A text of blanks alone between two other nodes is left out; CDATA
// sections are always kept.
class ElementText {
public:
    static constexpr qsizetype kMaxTextBytes = 1 << 20;

    void clear()
    {
        text_.truncate(0);
        beyond_ = 0;
        inText_ = false;
    }
    void characters(QByteArrayView piece)
    {
        if (!inText_) {
            inText_ = true;
            textStart_ = text_.size();
            blank_ = true;
        }
        blank_ = blank_ && XmlEventReader::isBlank(piece);
        append(piece);
    }
    void cdata(QByteArrayView piece)
    {
        endText();
        append(piece);
    }
    // Any other node ends a text.
    void endText()
    {
        if (inText_ && blank_)
            text_.truncate(textStart_);
        inText_ = false;
    }
    // Surrounding spaces removed; valid until the next call.
    QByteArrayView take()
    {
        endText();
        return trimmedBlanks(text_);
    }
    // Bytes of the text that were not kept.
    qsizetype beyond() const { return beyond_; }

private:
    void append(QByteArrayView piece)
    {
        const qsizetype kept = std::min(piece.size(), kMaxTextBytes - text_.size());
        text_ += piece.first(kept);
        beyond_ += piece.size() - kept;
    }

    QByteArray text_;
    qsizetype beyond_ = 0;
    qsizetype textStart_ = 0;
    bool inText_ = false;
    bool blank_ = true;
};

// Turns the document's events into CII blocks as they come.
class CiiFromXml final : public XmlEvents {
public:
    CiiFromXml(FormatMasters& masters, ConversionContext& context, CiiAppendFile& output, const XmlEventReader& reader,
               const ConversionProgress& progress, qint64 size)
        : masters_(masters), context_(context), output_(output), reader_(reader), progress_(progress), size_(size)
    {
    }

    // After the whole document: its last group closed.
    void finish()
    {
        // A document of some other kind is not taken for an empty CII document.
        if (!cii_)
            throw NotWellFormed{u"XML解析エラー CIIの文書ではありません (JPMGHもJPTRMもありません)"_s};
        if (groupOpen_)
            writeTrailer();
    }
    qint32 messageCount() const { return messageCount_; }

    void elementStart(QByteArrayView name) override;
    void elementEnd() override;
    void characters(QByteArrayView text) override;
    void cdata(QByteArrayView text) override;
    void comment() override;
    void processingInstruction(QByteArrayView target) override;

private:
    enum class Place { Outside, Header, Message };
    // An element of a message that holds others: the message itself, a group, a repetition.
    struct Frame {
        int depth;
        bool isGroup;
        bool repetitionEnded = false;  // a repetition child ended; the next node continues the group
    };

    // Where the text of an element begins to be taken, or the element to be passed over.
    void takeText()
    {
        textDepth_ = depth_;
        text_.clear();
    }
    void skip() { skipDepth_ = depth_; }
    // Any node but blanks after an ended repetition begins the next one.
    void continueGroup();
    // A text or CDATA node: part of the text being taken, or outside it a node that may continue
    // the group (a text of blanks alone counts for nothing, CDATA always does).
    void textNode(QByteArrayView text, bool isCdata);

    void beginHeader();
    bool storeField(QByteArrayView element, QByteArrayView utf8Text);
    void endHeader();
    void openGroup();
    void writeTrailer();
    void beginMessage();
    void messageElement(QByteArrayView name);
    void messageElementEnd();
    void dataElementEnd();
    void writeMessage();

    FormatMasters& masters_;
    ConversionContext& context_;
    CiiAppendFile& output_;
    const XmlEventReader& reader_;
    const ConversionProgress& progress_;
    qint64 size_;
    qint64 nextProgress_ = 16 << 20;

    Place place_ = Place::Outside;
    int depth_ = 0;      // of the element the parser is in; the root's is 1
    int skipDepth_ = 0;  // of the element passed over, while inside it
    int textDepth_ = 0;  // of the element whose text is taken, while inside it
    int headerDepth_ = 0;
    ElementText text_;
    QByteArray fieldName_;      // the header field whose text is taken
    qint32 elementNumber_ = 0;  // the data element whose text is taken
    bool headerChanged_ = false;
    std::vector<Frame> frames_;
    MessageEncoder encoder_;
    bool cii_ = false;  // a JPMGH or JPTRM was met
    bool groupOpen_ = false;
    qint32 messageCount_ = 0;
};

void CiiFromXml::elementStart(QByteArrayView name)
{
    ++depth_;
    if (skipDepth_ != 0)
        return;
    if (textDepth_ != 0) {
        text_.endText();
        return;
    }
    switch (place_) {
    case Place::Outside:
        if (name == "JPMGH")
            beginHeader();
        else if (name == "JPTRM")
            beginMessage();
        return;
    case Place::Header:
        fieldName_.truncate(0);
        fieldName_ += name;
        takeText();
        return;
    case Place::Message:
        messageElement(name);
        return;
    }
}

void CiiFromXml::elementEnd()
{
    const int depth = depth_--;
    if (skipDepth_ != 0) {
        if (depth == skipDepth_)
            skipDepth_ = 0;
        return;
    }
    if (textDepth_ != 0) {
        if (depth != textDepth_) {
            text_.endText();
            return;
        }
        textDepth_ = 0;
        if (place_ == Place::Header)
            headerChanged_ = storeField(fieldName_, text_.take()) || headerChanged_;
        else
            dataElementEnd();
        return;
    }
    if (place_ == Place::Header && depth == headerDepth_)
        endHeader();
    else if (place_ == Place::Message)
        messageElementEnd();
}

void CiiFromXml::characters(QByteArrayView text) { textNode(text, false); }

void CiiFromXml::cdata(QByteArrayView text) { textNode(text, true); }

void CiiFromXml::textNode(QByteArrayView text, bool isCdata)
{
    if (skipDepth_ != 0)
        return;
    if (textDepth_ != 0)
        isCdata ? text_.cdata(text) : text_.characters(text);
    else if (place_ == Place::Message && (isCdata || !XmlEventReader::isBlank(text)))
        continueGroup();
}

void CiiFromXml::comment()
{
    if (skipDepth_ != 0)
        return;
    if (textDepth_ != 0)
        text_.endText();
    else if (place_ == Place::Message)
        continueGroup();
}

void CiiFromXml::processingInstruction(QByteArrayView target)
{
    if (skipDepth_ != 0)
        return;
    if (textDepth_ != 0) {
        text_.endText();
    } else if (place_ == Place::Message) {
        continueGroup();
    } else if (place_ == Place::Outside && target == "JPTRM") {
        // A message without content.
        beginMessage();
        place_ = Place::Outside;
        writeMessage();
    }
}

void CiiFromXml::continueGroup()
{
    Frame& top = frames_.back();
    if (top.repetitionEnded) {
        encoder_.nextRepetition();
        top.repetitionEnded = false;
    }
}

void CiiFromXml::beginHeader()
{
    cii_ = true;
    MessageGroupHeader& header = context_.header;
    for (const auto& [position, width] : kBlankFields)
        header.fill(position, width, QString());
    header.fill(146, 1, u"E"_s);
    headerChanged_ = false;
    headerDepth_ = depth_;
    place_ = Place::Header;
}

bool CiiFromXml::storeField(QByteArrayView element, QByteArrayView utf8Text)
{
    MessageGroupHeader& header = context_.header;
    const QString text = QString::fromUtf8(utf8Text);
    if (element == "JPC03") {
        if (header.text(1, 1) == text)
            return false;
        header.fill(1, 1, text.left(1));
        return true;
    }
    const HeaderField* field = findXmlHeaderField(QString::fromLatin1(element));
    if (!field)
        return false;
    if (element == "JPC14")
        context_.format.infoClass = text;
    if (header.text(field->position, field->width) == text)
        return false;
    header.fill(field->position, field->width, text);
    return true;
}

void CiiFromXml::endHeader()
{
    place_ = Place::Outside;
    // The first header of a document always opens its own group: a document's messages are never
    // left outside a group.
    if (headerChanged_ || !groupOpen_)
        openGroup();
}

void CiiFromXml::openGroup()
{
    if (groupOpen_)
        writeTrailer();
    groupOpen_ = true;
    messageCount_ = 0;
    FormatState& format = context_.format;
    format.bpid = context_.header.bpid();
    format.characterMode = u'M';
    // Without a format row or CII layout the previous ones stay in use.
    if (const std::optional<FormatMasterRow> row = masters_.lookUpFormat(format.infoClass, format.bpid))
        format.format = *row;
    std::vector<LayoutItem> rows = masters_.layoutRows(u'E', format.infoClass, format.bpid);
    if (!rows.empty())
        context_.ciiLayout = Layout::load(std::move(rows));
    appendHeaderBlock(output_.buffer(), context_.header);
    output_.flushWhenFull();
}

void CiiFromXml::writeTrailer()
{
    MessageGroupTrailer& trailer = context_.trailer;
    trailer.fill(1, FixedRecord::kSize, QString());
    trailer.fill(1, 5, u"%1"_s.arg(messageCount_ % 100000, 5, 10, QChar(u'0')));
    appendTrailerBlock(output_.buffer(), trailer);
    output_.flushWhenFull();
    groupOpen_ = false;
}

void CiiFromXml::beginMessage()
{
    cii_ = true;
    // Nothing could frame a message before the document's first header: rather than lose it,
    // the document is refused like one that does not parse.
    if (!groupOpen_)
        throw NotWellFormed{u"XML解析エラー JPMGHより前にJPTRMがあります"_s};
    ++messageCount_;
    encoder_.begin(context_.ciiLayout, context_.header.doubleByteCode());
    frames_.assign(1, Frame{depth_, false});
    place_ = Place::Message;
}

// The elements of a message as they come: data elements, groups and their repetitions. A
// repetition followed by another node in its group is closed by the next-repetition byte.
void CiiFromXml::messageElement(QByteArrayView name)
{
    continueGroup();
    if (name.startsWith("JPM") && name.endsWith('R')) {
        frames_.push_back({depth_, false});
    } else if (name.startsWith("JPM")) {
        const std::optional<qint32> number = groupNumber(name.sliced(3));
        if (!number)
            return skip();
        encoder_.groupStart(*number);
        frames_.push_back({depth_, true});
    } else if (name.startsWith("JP")) {
        elementNumber_ = qint32(nameNumber(name.sliced(2).first(std::min<qsizetype>(5, name.size() - 2))));
        takeText();
    } else {
        skip();
    }
}

void CiiFromXml::messageElementEnd()
{
    const bool wasGroup = frames_.back().isGroup;
    frames_.pop_back();
    if (frames_.empty()) {
        place_ = Place::Outside;
        writeMessage();
    } else if (wasGroup) {
        encoder_.groupEnd();
    } else {
        frames_.back().repetitionEnded = true;  // a repetition closed
    }
}

void CiiFromXml::dataElementEnd()
{
    const QByteArrayView text = text_.take();
    // A text too long to be kept whole would be converted shorter, so it is refused already here.
    if (text_.beyond() > 0)
        throw MessageEncoder::ValueTooLong{elementNumber_, text.size() + text_.beyond()};
    encoder_.element(elementNumber_, text);
}

void CiiFromXml::writeMessage()
{
    appendMessageBlocks(output_.buffer(), messageCount_, encoder_.body(), context_.header.storageMode());
    output_.flushWhenFull();
    const qint64 read = reader_.bytesRead();
    if (progress_ && read >= nextProgress_) {
        progress_(read, size_);
        nextProgress_ = read + (16 << 20);
    }
}

}  // namespace

void convertXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& xmlPath, CiiAppendFile& output, const ConversionProgress& progress)
{
    const QFileInfo input(xmlPath);
    if (input.isFile() && input.size() == 0)
        return;  // nothing to convert
    output.beginDocument();
    try {
        XmlEventReader reader(xmlPath);
        CiiFromXml converter(masters, context, output, reader, progress, input.size());
        try {
            reader.parse(converter);
        } catch (const MessageEncoder::TooLong&) {
            throw NotWellFormed{u"XML解析エラー JPTRM %1 がCIIのメッセージに収まりません"_s.arg(converter.messageCount())};
        } catch (const MessageEncoder::ValueTooLong& value) {
            throw NotWellFormed{u"XML解析エラー JPTRM %1 の JP%2 の値 (%3バイト) がCIIの値の長さ (%4バイトまで) に収まりません"_s
                                    .arg(converter.messageCount())
                                    .arg(value.number, 5, 10, QChar(u'0'))
                                    .arg(value.size)
                                    .arg(MessageEncoder::kMaxValue)};
        }
        converter.finish();
    } catch (const NotWellFormed& error) {
        output.discardDocument();
        log.error(ConversionCode::XmlNotWellFormed, error.message);
    } catch (...) {
        output.discardDocument();
        throw;
    }
}

}  // namespace edi
