#include "convert/ciixml/XmlEventReader.h"

#include "convert/ciixml/XmlLibrary.h"
#include "convert/localcii/ConversionError.h"

#include <QFile>
#include <QFileInfo>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <memory>
#include <new>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace edi {

// The parser's callbacks. The library's own handlers keep the DTD and its entities (they need
// the parser context as their user data, so the reader goes in the context's private pointer,
// which the parses of entity contents inherit); those of the content turn into events. An event
// that throws stops the parser; the exception waits for parse().
struct XmlEventCallbacks {
    static XmlEventReader& readerOf(void* context) { return *static_cast<XmlEventReader*>(static_cast<xmlParserCtxtPtr>(context)->_private); }

    template <typename Call>
    static void dispatch(void* context, Call call)
    {
        XmlEventReader& reader = readerOf(context);
        if (reader.eventFailure_)
            return;
        try {
            call(*reader.events_);
        } catch (...) {
            reader.eventFailure_ = std::current_exception();
            xmlStopParser(reader.context_);
        }
    }

    static QByteArrayView view(const xmlChar* text, int length) { return {reinterpret_cast<const char*>(text), length}; }
    static QByteArrayView view(const xmlChar* text) { return QByteArrayView(reinterpret_cast<const char*>(text)); }

    static void elementStart(void* context, const xmlChar* name, const xmlChar* prefix, const xmlChar*, int, const xmlChar**,
                             int, int, const xmlChar**)
    {
        dispatch(context, [&](XmlEvents& events) {
            if (!prefix)
                return events.elementStart(view(name));
            QByteArray& qualified = readerOf(context).qualifiedName_;
            qualified.truncate(0);
            qualified.append(view(prefix)).append(':').append(view(name));
            events.elementStart(qualified);
        });
    }
    static void elementEnd(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        dispatch(context, [](XmlEvents& events) { events.elementEnd(); });
    }
    static void characters(void* context, const xmlChar* text, int length)
    {
        dispatch(context, [&](XmlEvents& events) { events.characters(view(text, length)); });
    }
    static void cdata(void* context, const xmlChar* text, int length)
    {
        dispatch(context, [&](XmlEvents& events) { events.cdata(view(text, length)); });
    }
    static void comment(void* context, const xmlChar*)
    {
        dispatch(context, [](XmlEvents& events) { events.comment(); });
    }
    static void processingInstruction(void* context, const xmlChar* target, const xmlChar*)
    {
        dispatch(context, [&](XmlEvents& events) { events.processingInstruction(view(target)); });
    }
    static void error(void* context, xmlErrorPtr error)
    {
        XmlEventReader& reader = readerOf(context);
        if (error && error->level >= XML_ERR_ERROR && reader.error_.isEmpty())
            reader.error_ = u"XML解析エラー %1行: %2"_s.arg(error->line).arg(QString::fromUtf8(error->message).trimmed());
    }

    static xmlSAXHandler* handler()
    {
        static xmlSAXHandler handler = [] {
            xmlSAXHandler sax;
            xmlSAXVersion(&sax, 2);
            sax.startElement = nullptr;
            sax.endElement = nullptr;
            sax.startElementNs = &elementStart;
            sax.endElementNs = &elementEnd;
            // Blanks are characters like any others: the converters decide what they mean.
            sax.characters = &characters;
            sax.ignorableWhitespace = &characters;
            sax.cdataBlock = &cdata;
            sax.comment = &comment;
            sax.processingInstruction = &processingInstruction;
            sax.serror = &error;
            return sax;
        }();
        return &handler;
    }
};

namespace {

// Whether the document's XML declaration names code page 932: "Shift_JIS", which the library
// serves by that code page, or "CP932", in any case.
bool declaresCodePage932(QByteArrayView head)
{
    if (!head.startsWith("<?xml"))
        return false;
    const qsizetype end = head.indexOf("?>");
    if (end < 0)
        return false;
    QByteArrayView rest = head.first(end);
    const qsizetype name = rest.indexOf("encoding");
    if (name < 1 || !XmlEventReader::isBlank(rest.sliced(name - 1, 1)))
        return false;
    rest = rest.sliced(name + 8);
    auto skipBlanks = [&] {
        while (!rest.isEmpty() && XmlEventReader::isBlank(rest.first(1)))
            rest = rest.sliced(1);
    };
    skipBlanks();
    if (!rest.startsWith('='))
        return false;
    rest = rest.sliced(1);
    skipBlanks();
    if (rest.isEmpty() || (rest.front() != '"' && rest.front() != '\''))
        return false;
    const qsizetype close = rest.indexOf(rest.front(), 1);
    if (close < 0)
        return false;
    const QByteArrayView value = rest.sliced(1, close - 1);
    return value.compare("Shift_JIS", Qt::CaseInsensitive) == 0 || value.compare("CP932", Qt::CaseInsensitive) == 0;
}

}  // namespace

XmlEventReader::XmlEventReader(const QString& path)
{
    initialiseXmlLibrary();
    // Checked before opening: a FIFO would block the open.
    if (!QFileInfo(path).isFile() || !(file_ = std::fopen(QFile::encodeName(path).constData(), "rb")))
        throw ConversionIoError(u"Cannot read "_s + path);
}

XmlEventReader::~XmlEventReader()
{
    if (context_) {
        xmlFreeDoc(context_->myDoc);  // the DTD and its entities
        xmlFreeParserCtxt(context_);
    }
    std::fclose(file_);
}

void XmlEventReader::parse(XmlEvents& events)
{
    events_ = &events;
    const std::unique_ptr<char[]> buffer(new char[kChunkSize]);
    for (bool last = false; !last;) {
        const size_t read = std::fread(buffer.get(), 1, kChunkSize, file_);
        if (read < size_t(kChunkSize)) {
            if (std::ferror(file_))
                throw ConversionIoError(u"Cannot read the XML document"_s);
            last = true;
        }
        const QByteArrayView chunk(buffer.get(), qsizetype(read));
        if (!context_)
            start(chunk);
        feed(chunk, last);
    }
}

void XmlEventReader::start(QByteArrayView head)
{
    context_ = xmlCreatePushParserCtxt(XmlEventCallbacks::handler(), nullptr, nullptr, 0, nullptr);
    if (!context_)
        throw std::bad_alloc();
    context_->_private = this;
    // Internal entities are expanded, so their values are data like any text; the loader refuses
    // external ones, and libxml2 bounds what an expansion may grow to.
    int options = XML_PARSE_NONET | XML_PARSE_NOENT;
    // Shift-JIS is decoded here, and the parser reads UTF-8: the library would call the code page
    // converter for every few hundred bytes.
    if (declaresCodePage932(head)) {
        decoder_.emplace();
        options |= XML_PARSE_IGNORE_ENC;
    }
    xmlCtxtUseOptions(context_, options);
    externalEntityRefused();
}

void XmlEventReader::feed(QByteArrayView bytes, bool last)
{
    given_ += bytes.size();
    if (decoder_) {
        decoded_.truncate(0);
        if (!decoder_->decode(bytes, decoded_))
            throw NotWellFormed{u"XML解析エラー %1バイト目: Shift_JISの文字ではありません"_s.arg(decoder_->offset() + 1)};
        // A character cut by the end of the document is dropped, as the library does.
        bytes = decoded_;
    }
    const int status = xmlParseChunk(context_, bytes.data(), int(bytes.size()), last ? 1 : 0);
    if (eventFailure_)
        std::rethrow_exception(eventFailure_);
    if (externalEntityRefused())
        throw NotWellFormed{u"XML解析エラー 文書の外の実体やDTDは読みません"_s};
    if (status != 0 || !context_->wellFormed || !error_.isEmpty())
        throw NotWellFormed{error_.isEmpty() ? u"XML解析エラー"_s : error_};
}

bool XmlEventReader::isBlank(QByteArrayView text)
{
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

}  // namespace edi
