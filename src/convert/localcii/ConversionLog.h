#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <map>

namespace edi {

class Clock;

// The converters' log, ERR.LOG: one line per code, the code as four digits followed by its text,
// ended by CR LF, in Shift-JIS. An error (as opposed to a warning) also becomes the converter's
// result code. Each converter keeps its own ConversionLog; all of them append to the same file.
//
// The file is opened once per run and every line is flushed at once, so the file reads the same
// as if it were opened for each line. A warning code repeated more than kWarningLimit times in one
// run is logged once more with "以降省略" and then no more, so broken input cannot fill the disk.
class ConversionLog {
public:
    static constexpr int kWarningLimit = 1000;

    explicit ConversionLog(QString path);
    ~ConversionLog();
    ConversionLog(const ConversionLog&) = delete;
    ConversionLog& operator=(const ConversionLog&) = delete;

    // Starts a run: clears the result code and the warning counts. The start line is written
    // separately (its text differs by converter).
    void beginRun();
    // Closes the file at the end of a run.
    void endRun();

    // Writes a line. Throws ConversionIoError when the file cannot be written; an error's result
    // code is set before that, so the error is not lost.
    void error(int code, const QString& text = {});
    void warning(int code, const QString& text = {});
    void startLine(const QString& text) { write(0, text); }

    // Empty while no error has been logged in this run, otherwise the four-digit code of the latest.
    const QString& resultCode() const { return resultCode_; }
    // What the latest error says: its text, or what its code means when it was logged without one.
    const QString& errorText() const { return errorText_; }
    const QString& path() const { return path_; }

private:
    void write(int code, const QString& text);

    QString path_;
    std::FILE* file_ = nullptr;
    QString resultCode_;
    QString errorText_;
    std::map<int, int> warningCounts_;
};

// What a code of the converters means, for a reader who has no table at hand; "変換エラー" for a
// number that is no code of theirs.
QString conversionCodeText(int code);
// The text of error 1 when a message or the whole file comes without a group header.
QString missingHeaderText();

// The start lines of the two converters.
QString localStartLine(qint64 serial, const Clock& clock);
QString ciiXmlStartLine(qint64 serial);

}  // namespace edi
