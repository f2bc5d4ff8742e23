#pragma once

#include "app/text/ShiftJisDecoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdio>
#include <exception>
#include <optional>

struct _xmlParserCtxt;

namespace edi {

// What a document holds, in the order the parser meets it. Names and texts are UTF-8, valid
// during the call only.
class XmlEvents {
public:
    virtual ~XmlEvents() = default;
    // The qualified name ("prefix:name" when it has a prefix).
    virtual void elementStart(QByteArrayView name) = 0;
    virtual void elementEnd() = 0;
    // Character data comes in pieces; pieces without another event between them are one text.
    // Entities are expanded into it.
    virtual void characters(QByteArrayView text) = 0;
    virtual void cdata(QByteArrayView text) = 0;
    virtual void comment() = 0;
    virtual void processingInstruction(QByteArrayView target) = 0;
};

// Parses a document file with libxml2's push parser, handing its content to the events as it
// comes: nothing of the document is kept. Internal entities are expanded; nothing outside the
// document is read (external entities, DTDs, the network). A document declared in Shift-JIS is
// decoded by the table of ShiftJisDecoder, the rest by the library.
class XmlEventReader {
public:
    struct NotWellFormed {
        QString message;
    };

    // Throws ConversionIoError when the file cannot be read.
    explicit XmlEventReader(const QString& path);
    ~XmlEventReader();
    XmlEventReader(const XmlEventReader&) = delete;
    XmlEventReader& operator=(const XmlEventReader&) = delete;

    // Reads the whole document. Throws NotWellFormed when it does not parse; what an event
    // throws stops the parse and comes out of here.
    void parse(XmlEvents& events);
    // Bytes of the file given to the parser so far.
    qint64 bytesRead() const { return given_; }

    // True for a text of blanks alone (spaces, tabs, line ends), which the converters leave out.
    static bool isBlank(QByteArrayView text);

private:
    friend struct XmlEventCallbacks;
    static constexpr int kChunkSize = 1 << 16;

    void start(QByteArrayView head);
    void feed(QByteArrayView bytes, bool last);

    std::FILE* file_ = nullptr;
    _xmlParserCtxt* context_ = nullptr;
    XmlEvents* events_ = nullptr;
    std::exception_ptr eventFailure_;  // what an event threw
    QString error_;                    // the first error the parser reported
    QByteArray qualifiedName_;
    std::optional<ShiftJisDecoder> decoder_;
    QByteArray decoded_;
    qint64 given_ = 0;
};

}  // namespace edi
