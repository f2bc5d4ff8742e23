#include "convert/ciixml/XmlDocumentWriter.h"

#include "app/text/ShiftJisEncoder.h"
#include "convert/ciixml/XmlLibrary.h"
#include "convert/localcii/ConversionError.h"

#include <QFile>
#include <filesystem>
#include <libxml/xmlIO.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qsizetype kChunk = 256 * 1024;

// What a character the encoding lacks becomes, as libxml2's output writes it: a decimal
// character reference.
void characterReference(char32_t character, QByteArray& out)
{
    out.append("&#").append(QByteArray::number(quint32(character))).append(';');
}

}  // namespace

XmlDocumentWriter::XmlDocumentWriter(const QString& targetPath, const QString& encoding)
    : targetPath_(targetPath)
    , temporaryPath_(targetPath + u".part"_s)
{
    initialiseXmlLibrary();
    // Shift-JIS, the usual encoding, is encoded here by a table; the library would call the code
    // page converter for every few kilobytes. The other encodings go through the library.
    shiftJis_ = encoding == u"Shift_JIS"_s;
    xmlCharEncodingHandlerPtr handler = shiftJis_ ? nullptr : xmlFindCharEncodingHandler(encoding.toLatin1().constData());
    if (shiftJis_ || handler)
        output_ = xmlOutputBufferCreateFilename(QFile::encodeName(temporaryPath_).constData(), handler, 0);
    if (!output_)
        throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
    buffer_.reserve(kChunk + 4096);
    // Written by hand: libxml2's own declaration would name the code-page converter behind Shift_JIS.
    raw((u"<?xml version=\"1.0\" encoding=\""_s + encoding + u"\"?>\r\n"_s).toLatin1());
}

XmlDocumentWriter::~XmlDocumentWriter()
{
    if (output_)
        xmlOutputBufferClose(output_);
    if (!finished_)
        QFile::remove(temporaryPath_);
}

void XmlDocumentWriter::startElement(QByteArrayView name)
{
    buffer_ += '<';
    buffer_ += name;
    buffer_ += '>';
    openElements_.emplace_back(name.toByteArray());
}

void XmlDocumentWriter::startElement(QByteArrayView name, QByteArrayView attribute, QByteArrayView value)
{
    buffer_ += '<';
    buffer_ += name;
    buffer_ += ' ';
    buffer_ += attribute;
    buffer_ += "=\"";
    escape(value, true);
    buffer_ += "\">";
    openElements_.emplace_back(name.toByteArray());
}

void XmlDocumentWriter::endElement()
{
    buffer_ += "</";
    buffer_ += openElements_.back();
    buffer_ += '>';
    openElements_.pop_back();
    flush(kChunk);
}

void XmlDocumentWriter::element(QByteArrayView name, QByteArrayView utf8Text)
{
    buffer_ += '<';
    buffer_ += name;
    buffer_ += '>';
    escape(utf8Text, false);
    buffer_ += "</";
    buffer_ += name;
    buffer_ += '>';
    flush(kChunk);
}

void XmlDocumentWriter::text(QByteArrayView utf8)
{
    escape(utf8, false);
}

void XmlDocumentWriter::raw(QByteArrayView ascii)
{
    buffer_ += ascii;
}

void XmlDocumentWriter::escape(QByteArrayView utf8, bool inAttribute)
{
    const char* run = utf8.data();
    const char* end = run + utf8.size();
    for (const char* p = run; p < end; ++p) {
        const unsigned char c = uchar(*p);
        const char* replacement = nullptr;
        switch (c) {
        case '&': replacement = "&amp;"; break;
        case '<': replacement = "&lt;"; break;
        case '>': replacement = "&gt;"; break;
        case '\r': replacement = "&#13;"; break;
        case '"': replacement = inAttribute ? "&quot;" : nullptr; break;
        case '\t':
        case '\n': break;
        case 0xEF:  // U+FFFE and U+FFFF are no XML characters
            if (end - p >= 3 && uchar(p[1]) == 0xBF && (uchar(p[2]) == 0xBE || uchar(p[2]) == 0xBF)) {
                buffer_.append(run, p - run);
                buffer_ += '?';
                p += 2;
                run = p + 1;
            }
            break;
        default:
            if (c < 0x20)
                replacement = "?";
        }
        if (replacement) {
            buffer_.append(run, p - run);
            buffer_ += replacement;
            run = p + 1;
        }
    }
    buffer_.append(run, end - run);
}

void XmlDocumentWriter::flush(qsizetype threshold)
{
    if (buffer_.size() < threshold)
        return;
    const QByteArray* bytes = &buffer_;
    if (shiftJis_) {
        encoded_.truncate(0);
        if (!encodeUtf8ToShiftJis(buffer_, encoded_, &characterReference))
            throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
        bytes = &encoded_;
    }
    if (xmlOutputBufferWrite(output_, int(bytes->size()), bytes->constData()) < 0)
        throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
    buffer_.truncate(0);  // keeps the allocation
}

void XmlDocumentWriter::finish()
{
    flush(0);
    const int closed = xmlOutputBufferClose(output_);
    output_ = nullptr;
    std::error_code error;
    if (closed >= 0)
        std::filesystem::rename(QFile::encodeName(temporaryPath_).constData(), QFile::encodeName(targetPath_).constData(), error);
    if (closed < 0 || error)
        throw ConversionIoError(u"Cannot write "_s + targetPath_);
    finished_ = true;
}

}  // namespace edi
