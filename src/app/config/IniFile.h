#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

// A private-profile file as the configuration is written: "[section]" lines followed by
// key=value lines. Sections and keys are compared without regard to case; the first section
// and the first key of a name win. A value is the text after the first "=", blanks removed.
// A missing section or key reads as the empty text. The file is decoded as UTF-8 when it starts
// with a UTF-8 byte-order mark or is valid UTF-8, otherwise as Shift-JIS.
class IniFile {
public:
    // The largest file read: a configuration kept by hand is a few KiB, and a path that names
    // something else must not be read without end.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    // A missing, unreadable or oversized file, or one that is not a regular file, gives an
    // empty IniFile: every value reads empty, and problem() says why.
    static IniFile read(const QString& path);
    static IniFile parse(QByteArrayView bytes);

    const QString& problem() const { return problem_; }

    // The value as a buffer of bufferSize characters returns it: cut at the first NUL and cut
    // to bufferSize - 1 characters.
    QString value(QStringView section, QStringView key, int bufferSize) const;

    // The section's lines as written, blank lines and comments left out, as many as fit into a
    // buffer of bufferSize characters holding each line and its NUL.
    QStringList sectionLines(QStringView section, int bufferSize) const;

private:
    struct Entry {
        QString key;  // empty for a line without "="
        QString value;
        QString line;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };
    const Section* findSection(QStringView name) const;

    std::vector<Section> sections_;
    QString problem_;
};

}  // namespace edi
