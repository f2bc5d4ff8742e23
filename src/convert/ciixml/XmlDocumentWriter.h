#pragma once

#include <QByteArrayView>
#include <QString>

typedef struct _xmlTextWriter* xmlTextWriterPtr;

namespace edi {

// One XML document written as it is produced, in the given encoding, to a temporary file beside
// its target; finish() renames it into place, so a document that is not finished never appears.
// Line breaks and indentation are written as they are (CR LF stays CR LF); texts are escaped, and
// characters the encoding lacks become character references. Throws ConversionIoError.
class XmlDocumentWriter {
public:
    XmlDocumentWriter(const QString& targetPath, const QString& encoding);
    ~XmlDocumentWriter();
    XmlDocumentWriter(const XmlDocumentWriter&) = delete;
    XmlDocumentWriter& operator=(const XmlDocumentWriter&) = delete;

    void startElement(const QString& name);
    void attribute(const QString& name, const QString& value);
    // A text node. Characters XML cannot hold (control characters) become "?".
    void text(const QString& text);
    // Line breaks and spaces, written unescaped.
    void raw(QByteArrayView ascii);
    // Closes the innermost element with an end tag, also when it is empty.
    void endElement();
    void finish();

private:
    void check(int status);

    QString targetPath_;
    QString temporaryPath_;
    xmlTextWriterPtr writer_ = nullptr;
    bool finished_ = false;
};

}  // namespace edi
