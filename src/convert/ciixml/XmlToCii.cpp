#include "convert/ciixml/XmlToCii.h"

#include "convert/ciixml/HeaderFields.h"
#include "convert/ciixml/MessageEncoder.h"
#include "convert/ciixml/XmlLibrary.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/ConversionContext.h"
#include "convert/localcii/ConversionError.h"
#include "convert/localcii/ConversionLog.h"
#include "convert/localcii/FormatMasters.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <filesystem>
#include <libxml/xmlreader.h>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr int kNotWellFormed = 2;

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

// The CII file, extended in a temporary copy that replaces it when the document is done.
class CiiAppendOutput {
public:
    explicit CiiAppendOutput(QString path) : path_(std::move(path)), temporary_(path_ + u".part"_s) {}
    ~CiiAppendOutput()
    {
        if (file_) {
            std::fclose(file_);
            QFile::remove(temporary_);
        }
    }

    void write(const QByteArray& bytes)
    {
        if (!file_)
            open();
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file_) != size_t(bytes.size()))
            throw ConversionIoError(u"Cannot write "_s + temporary_);
    }

    void commit()
    {
        if (!file_)
            return;  // nothing was added
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        std::error_code error;
        if (closed)
            std::filesystem::rename(QFile::encodeName(temporary_).constData(), QFile::encodeName(path_).constData(), error);
        if (!closed || error) {
            QFile::remove(temporary_);
            throw ConversionIoError(u"Cannot write "_s + path_);
        }
    }

private:
    void open()
    {
        QFile::remove(temporary_);
        // Copied by the kernel (copy_file_range), not through the program's memory.
        std::error_code error;
        if (QFileInfo::exists(path_)
            && !std::filesystem::copy_file(QFile::encodeName(path_).constData(), QFile::encodeName(temporary_).constData(),
                                           std::filesystem::copy_options::overwrite_existing, error))
            throw ConversionIoError(u"Cannot copy "_s + path_);
        file_ = std::fopen(QFile::encodeName(temporary_).constData(), "ab");
        if (!file_)
            throw ConversionIoError(u"Cannot write "_s + temporary_);
        std::setvbuf(file_, buffer_.get(), _IOFBF, kBufferSize);  // glibc ignores the size without a buffer
    }

    static constexpr size_t kBufferSize = 1 << 20;
    QString path_;
    QString temporary_;
    std::unique_ptr<char[]> buffer_{new char[kBufferSize]};
    std::FILE* file_ = nullptr;
};

// Reads the document node by node; nothing of it is held but the current element's text and
// what the parser keeps of the current child of the root.
class XmlReader {
public:
    // The most bytes of the document the parser may be given for one child of the root (a
    // header, a message or anything else): it keeps an element's nodes until the element ends,
    // at about three times their size, and parses ahead within one read, so a hostile element
    // must not grow memory without end. The largest message a CII file can hold takes less,
    // written as this converter writes it.
    static constexpr qint64 kMaxTopLevelElementBytes = qint64(48) << 20;
    // Text beyond this is never needed: values are cut far below it.
    static constexpr qsizetype kMaxTextBytes = 1 << 20;

    explicit XmlReader(const QString& path)
    {
        initialiseXmlLibrary();
        // Checked before opening: a FIFO would block the open.
        if (!QFileInfo(path).isFile() || !(file_ = std::fopen(QFile::encodeName(path).constData(), "rb")))
            throw ConversionIoError(u"Cannot read "_s + path);
        // Internal entities are expanded, so their values are data like any text; the loader
        // refuses external ones, and libxml2 bounds what an expansion may grow to.
        externalEntityRefused();
        reader_ = xmlReaderForIO(&XmlReader::readInput, nullptr, this, nullptr, nullptr,
                                 XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_NOENT);
        if (!reader_) {
            std::fclose(file_);
            throw ConversionIoError(u"Cannot read "_s + path);
        }
        xmlTextReaderSetStructuredErrorHandler(reader_, &XmlReader::recordError, this);
    }
    ~XmlReader()
    {
        xmlFreeTextReader(reader_);
        std::fclose(file_);
    }
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // False at the end of the document; throws NotWellFormed on a parse error.
    bool read()
    {
        const int status = xmlTextReaderRead(reader_);
        if (overBudget_)
            throw NotWellFormed{u"XML解析エラー %1バイトを超える要素があります"_s.arg(kMaxTopLevelElementBytes)};
        if (externalEntityRefused())
            throw NotWellFormed{u"XML解析エラー 文書の外の実体やDTDは読みません"_s};
        if (status < 0 || !error_.isEmpty())
            throw NotWellFormed{error_.isEmpty() ? u"XML解析エラー"_s : error_};
        if (status == 1 && depth() <= 1)
            elementStart_ = given_;
        return status == 1;
    }
    int type() const { return xmlTextReaderNodeType(reader_); }
    int depth() const { return xmlTextReaderDepth(reader_); }
    bool isEmptyElement() const { return xmlTextReaderIsEmptyElement(reader_) == 1; }
    // UTF-8, valid until the next read.
    QByteArrayView name() const { return view(xmlTextReaderConstName(reader_)); }
    QByteArrayView value() const { return view(xmlTextReaderConstValue(reader_)); }
    qint64 consumed() const { return xmlTextReaderByteConsumed(reader_); }

    // Reads on to the end of the element the reader stands on.
    void skipElement()
    {
        if (isEmptyElement())
            return;
        const int elementDepth = depth();
        while (read() && !(type() == XML_READER_TYPE_END_ELEMENT && depth() == elementDepth)) {
        }
    }

    // The text content of the element the reader stands on (its descendants' texts) in UTF-8,
    // surrounding blanks removed, valid until the next call; the reader ends on the element's end.
    QByteArrayView elementText()
    {
        text_.truncate(0);
        if (isEmptyElement())
            return text_;
        const int elementDepth = depth();
        while (read() && !(type() == XML_READER_TYPE_END_ELEMENT && depth() == elementDepth)) {
            if ((type() == XML_READER_TYPE_TEXT || type() == XML_READER_TYPE_CDATA) && text_.size() < kMaxTextBytes)
                text_ += value().first(std::min(value().size(), kMaxTextBytes - text_.size()));
        }
        return trimmedBlanks(text_);
    }

    struct NotWellFormed {
        QString message;
    };

private:
    static QByteArrayView view(const xmlChar* utf8) { return QByteArrayView(reinterpret_cast<const char*>(utf8)); }
    // The parser's input: the file, cut off once one child of the root has taken its budget.
    static int readInput(void* self, char* buffer, int length)
    {
        auto* reader = static_cast<XmlReader*>(self);
        if (reader->given_ - reader->elementStart_ > kMaxTopLevelElementBytes) {
            reader->overBudget_ = true;
            return -1;
        }
        const size_t read = std::fread(buffer, 1, size_t(length), reader->file_);
        if (read == 0 && std::ferror(reader->file_))
            return -1;
        reader->given_ += qint64(read);
        return int(read);
    }
    static void recordError(void* self, xmlErrorPtr error)
    {
        auto* reader = static_cast<XmlReader*>(self);
        if (error && error->level >= XML_ERR_ERROR && reader->error_.isEmpty())
            reader->error_ = u"XML解析エラー %1行: %2"_s.arg(error->line).arg(QString::fromUtf8(error->message).trimmed());
    }

    std::FILE* file_ = nullptr;
    xmlTextReaderPtr reader_ = nullptr;
    QString error_;
    QByteArray text_;
    qint64 given_ = 0;         // bytes of the file given to the parser
    qint64 elementStart_ = 0;  // what had been given when the current child of the root began
    bool overBudget_ = false;
};

class CiiFromXml {
public:
    CiiFromXml(FormatMasters& masters, ConversionContext& context, XmlReader& reader, CiiAppendOutput& output)
        : masters_(masters), context_(context), reader_(reader), output_(output)
    {
    }

    void run(const ConversionProgress& progress, qint64 size)
    {
        bool cii = false;  // a JPMGH or JPTRM was met
        while (reader_.read()) {
            const int type = reader_.type();
            if (type == XML_READER_TYPE_ELEMENT && reader_.name() == "JPMGH") {
                cii = true;
                header();
            } else if ((type == XML_READER_TYPE_ELEMENT || type == XML_READER_TYPE_PROCESSING_INSTRUCTION)
                       && reader_.name() == "JPTRM") {
                cii = true;
                message(type == XML_READER_TYPE_ELEMENT);
                if (progress && reader_.consumed() >= nextProgress_) {
                    progress(reader_.consumed(), size);
                    nextProgress_ = reader_.consumed() + (16 << 20);
                }
            }
        }
        // A document of some other kind is not taken for an empty CII document.
        if (!cii)
            throw XmlReader::NotWellFormed{u"XML解析エラー CIIの文書ではありません (JPMGHもJPTRMもありません)"_s};
        if (groupOpen_)
            writeTrailer();
    }

private:
    void header();
    bool storeField(QByteArrayView element, const QString& text);
    void openGroup();
    void writeTrailer();
    void message(bool hasContent);
    void encodeContent(MessageEncoder& encoder);

    FormatMasters& masters_;
    ConversionContext& context_;
    XmlReader& reader_;
    CiiAppendOutput& output_;
    bool groupOpen_ = false;
    qint32 messageCount_ = 0;
    qint64 nextProgress_ = 16 << 20;
    QByteArray blocks_;
};

void CiiFromXml::header()
{
    MessageGroupHeader& header = context_.header;
    for (const auto& [position, width] : kBlankFields)
        header.fill(position, width, QString());
    header.fill(146, 1, u"E"_s);
    bool changed = false;
    if (!reader_.isEmptyElement()) {
        const int headerDepth = reader_.depth();
        while (reader_.read() && !(reader_.type() == XML_READER_TYPE_END_ELEMENT && reader_.depth() == headerDepth)) {
            if (reader_.type() == XML_READER_TYPE_ELEMENT) {
                const QByteArray element = reader_.name().toByteArray();
                changed = storeField(element, QString::fromUtf8(reader_.elementText())) || changed;
            }
        }
    }
    // The first header of a document always opens its own group: a document's messages are never
    // left outside a group.
    if (changed || !groupOpen_)
        openGroup();
}

bool CiiFromXml::storeField(QByteArrayView element, const QString& text)
{
    MessageGroupHeader& header = context_.header;
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

void CiiFromXml::openGroup()
{
    if (groupOpen_) {
        writeTrailer();
    }
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
    blocks_.clear();
    appendHeaderBlock(blocks_, context_.header);
    output_.write(blocks_);
}

void CiiFromXml::writeTrailer()
{
    MessageGroupTrailer& trailer = context_.trailer;
    trailer.fill(1, FixedRecord::kSize, QString());
    trailer.fill(1, 5, u"%1"_s.arg(messageCount_ % 100000, 5, 10, QChar(u'0')));
    blocks_.clear();
    appendTrailerBlock(blocks_, trailer);
    output_.write(blocks_);
    groupOpen_ = false;
}

void CiiFromXml::message(bool hasContent)
{
    // Nothing could frame a message before the document's first header: rather than lose it,
    // the document is refused like one that does not parse.
    if (!groupOpen_)
        throw XmlReader::NotWellFormed{u"XML解析エラー JPMGHより前にJPTRMがあります"_s};
    ++messageCount_;
    MessageEncoder encoder(context_.ciiLayout, context_.header.doubleByteCode());
    encoder.begin();
    try {
        if (hasContent)
            encodeContent(encoder);
    } catch (const MessageEncoder::TooLong&) {
        throw XmlReader::NotWellFormed{u"XML解析エラー JPTRM %1 がCIIのメッセージに収まりません"_s.arg(messageCount_)};
    }
    blocks_.clear();
    appendMessageBlocks(blocks_, messageCount_, encoder.body(), context_.header.storageMode());
    output_.write(blocks_);
}

// The elements of a message, walked as they come: data elements, groups and their repetitions.
// A repetition followed by another node in its group is closed by the next-repetition byte.
void CiiFromXml::encodeContent(MessageEncoder& encoder)
{
    if (reader_.isEmptyElement())
        return;
    struct Frame {
        int depth;
        bool isGroup;
        bool repetitionEnded = false;  // a repetition child ended; the next node continues the group
    };
    std::vector<Frame> frames{{reader_.depth(), false}};
    while (reader_.read()) {
        const int type = reader_.type();
        const int depth = reader_.depth();
        Frame& top = frames.back();
        if (type == XML_READER_TYPE_END_ELEMENT && depth == top.depth) {
            const bool wasGroup = top.isGroup;
            frames.pop_back();
            if (frames.empty())
                return;  // the end of the message
            if (wasGroup)
                encoder.groupEnd();
            else
                frames.back().repetitionEnded = true;  // a repetition closed
            continue;
        }
        if (type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || type == XML_READER_TYPE_WHITESPACE)
            continue;
        if (top.repetitionEnded) {
            encoder.nextRepetition();
            top.repetitionEnded = false;
        }
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        const QByteArrayView name = reader_.name();
        if (name.startsWith("JPM") && name.endsWith('R')) {
            if (reader_.isEmptyElement())
                top.repetitionEnded = true;
            else
                frames.push_back({depth, false});
        } else if (name.startsWith("JPM")) {
            const std::optional<qint32> number = groupNumber(name.sliced(3));
            if (!number) {
                reader_.skipElement();
                continue;
            }
            encoder.groupStart(*number);
            if (reader_.isEmptyElement())
                encoder.groupEnd();
            else
                frames.push_back({depth, true});
        } else if (name.startsWith("JP")) {
            const qint64 number = nameNumber(name.sliced(2).first(std::min<qsizetype>(5, name.size() - 2)));
            encoder.element(qint32(number), reader_.elementText());
        } else {
            reader_.skipElement();
        }
    }
}

}  // namespace

void convertXmlToCii(FormatMasters& masters, ConversionContext& context, ConversionLog& log,
                     const QString& xmlPath, const QString& ciiPath, const ConversionProgress& progress)
{
    CiiAppendOutput output(ciiPath);
    if (QFileInfo(xmlPath).isFile() && QFileInfo(xmlPath).size() == 0)
        return;  // nothing to convert
    try {
        XmlReader reader(xmlPath);
        CiiFromXml converter(masters, context, reader, output);
        converter.run(progress, QFileInfo(xmlPath).size());
    } catch (const XmlReader::NotWellFormed& error) {
        log.error(kNotWellFormed, error.message);
        return;  // the temporary copy goes, the CII file stays as it was
    }
    output.commit();
}

}  // namespace edi
