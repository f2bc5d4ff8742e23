#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

typedef struct _xmlOutputBuffer* xmlOutputBufferPtr;

namespace edi {

// One XML document serialised as it is produced and written through libxml2's output buffer in
// the given encoding, to a temporary file beside its target; finish() renames it into place, so
// a document that is not finished never appears. Markup is gathered in UTF-8 and handed over in
// large pieces. Line breaks and indentation are written as they are (CR LF stays CR LF); texts
// are escaped, characters XML cannot hold become "?", and characters the encoding lacks become
// character references. Throws ConversionIoError.
class XmlDocumentWriter {
public:
    XmlDocumentWriter(const QString& targetPath, const QString& encoding);
    ~XmlDocumentWriter();
    XmlDocumentWriter(const XmlDocumentWriter&) = delete;
    XmlDocumentWriter& operator=(const XmlDocumentWriter&) = delete;

    // Element names are UTF-8 and written as given.
    void startElement(QByteArrayView name);
    void startElement(QByteArrayView name, QByteArrayView attribute, QByteArrayView value);
    // Closes the innermost open element with an end tag, also when it is empty.
    void endElement();
    // The number of open elements.
    size_t depth() const { return openElements_.size(); }
    // A whole element holding one text.
    void element(QByteArrayView name, QByteArrayView utf8Text);
    void text(QByteArrayView utf8);
    // Line breaks and spaces, written unescaped.
    void raw(QByteArrayView ascii);
    void finish();

private:
    void escape(QByteArrayView utf8, bool inAttribute);
    void flush(qsizetype threshold);

    QString targetPath_;
    QString temporaryPath_;
    xmlOutputBufferPtr output_ = nullptr;
    QByteArray buffer_;
    bool shiftJis_ = false;  // encoded by the table into encoded_
    QByteArray encoded_;
    std::vector<QByteArray> openElements_;
    bool finished_ = false;
};

}  // namespace edi
