#pragma once

#include <QByteArray>
#include <QString>

namespace edi {

// The CII file that XML documents are appended to. What is appended goes to a temporary copy of
// the file ("NAME.part"), which replaces the file at commit, so the file is never left
// half-appended, however the program ends. Several documents appended in one run copy the file
// once; a document that fails is cut off the copy again, and what the documents before it added
// stays. Nothing appended, nothing copied: the file is left as it is.
class CiiAppendFile {
public:
    explicit CiiAppendFile(QString path);
    // What was not committed goes with the temporary copy.
    ~CiiAppendFile();
    CiiAppendFile(const CiiAppendFile&) = delete;
    CiiAppendFile& operator=(const CiiAppendFile&) = delete;

    // Marks where a document's bytes begin.
    void beginDocument();
    // The document's bytes are appended to this buffer; flushWhenFull() writes it out once it
    // holds enough. Throws ConversionIoError.
    QByteArray& buffer() { return buffer_; }
    void flushWhenFull()
    {
        if (buffer_.size() >= kBufferSize)
            flush();
    }
    // Drops what was appended since beginDocument().
    void discardDocument();
    // Puts the copy in the file's place. Throws ConversionIoError.
    void commit();

private:
    static constexpr qsizetype kBufferSize = qsizetype(1) << 20;

    void open();
    void flush();

    QString path_;
    QString temporary_;
    QByteArray buffer_;
    int file_ = -1;             // the temporary, once something was written to it
    qint64 base_ = 0;           // the size of the file when it was copied
    // Counted from the end of the copy: what was written to the temporary, and where the current
    // document begins (in the temporary, or in the buffer when it is at least written_).
    qint64 written_ = 0;
    qint64 documentStart_ = 0;
    bool broken_ = false;       // a document could not be cut off: the copy must not replace the file
};

}  // namespace edi
