#include "convert/ciixml/XmlDocumentWriter.h"

#include "convert/ciixml/XmlLibrary.h"
#include "convert/localcii/ConversionError.h"

#include <QFile>
#include <algorithm>
#include <filesystem>
#include <libxml/xmlwriter.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

const xmlChar* utf8(const QByteArray& bytes) { return reinterpret_cast<const xmlChar*>(bytes.constData()); }

bool isXmlCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u >= 0x20 ? u != 0xFFFE && u != 0xFFFF : u == 0x9 || u == 0xA || u == 0xD;
}

QByteArray xmlText(const QString& text)
{
    if (std::all_of(text.begin(), text.end(), isXmlCharacter))
        return text.toUtf8();
    QString cleaned = text;
    std::replace_if(cleaned.begin(), cleaned.end(), [](QChar c) { return !isXmlCharacter(c); }, QChar(u'?'));
    return cleaned.toUtf8();
}

}  // namespace

XmlDocumentWriter::XmlDocumentWriter(const QString& targetPath, const QString& encoding)
    : targetPath_(targetPath)
    , temporaryPath_(targetPath + u".part"_s)
{
    initialiseXmlLibrary();
    xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(encoding.toLatin1().constData());
    xmlOutputBufferPtr output =
        handler ? xmlOutputBufferCreateFilename(QFile::encodeName(temporaryPath_).constData(), handler, 0) : nullptr;
    if (!output)
        throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
    writer_ = xmlNewTextWriter(output);
    if (!writer_) {
        xmlOutputBufferClose(output);
        throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
    }
    // The declaration is written by hand: the writer's own would name the code-page converter.
    raw((u"<?xml version=\"1.0\" encoding=\""_s + encoding + u"\"?>\r\n"_s).toLatin1());
}

XmlDocumentWriter::~XmlDocumentWriter()
{
    if (writer_)
        xmlFreeTextWriter(writer_);
    if (!finished_)
        QFile::remove(temporaryPath_);
}

void XmlDocumentWriter::check(int status)
{
    if (status < 0)
        throw ConversionIoError(u"Cannot write "_s + temporaryPath_);
}

void XmlDocumentWriter::startElement(const QString& name)
{
    check(xmlTextWriterStartElement(writer_, utf8(name.toUtf8())));
}

void XmlDocumentWriter::attribute(const QString& name, const QString& value)
{
    check(xmlTextWriterWriteAttribute(writer_, utf8(name.toUtf8()), utf8(xmlText(value))));
}

void XmlDocumentWriter::text(const QString& text)
{
    if (!text.isEmpty())
        check(xmlTextWriterWriteString(writer_, utf8(xmlText(text))));
}

void XmlDocumentWriter::raw(QByteArrayView ascii)
{
    check(xmlTextWriterWriteRawLen(writer_, reinterpret_cast<const xmlChar*>(ascii.data()), int(ascii.size())));
}

void XmlDocumentWriter::endElement()
{
    check(xmlTextWriterFullEndElement(writer_));
}

void XmlDocumentWriter::finish()
{
    check(xmlTextWriterFlush(writer_));  // no end-of-document call: it would add a bare line feed
    xmlFreeTextWriter(writer_);
    writer_ = nullptr;
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(temporaryPath_).constData(), QFile::encodeName(targetPath_).constData(), error);
    if (error)
        throw ConversionIoError(u"Cannot write "_s + targetPath_);
    finished_ = true;
}

}  // namespace edi
