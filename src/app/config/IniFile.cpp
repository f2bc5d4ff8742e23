#include "app/config/IniFile.h"

#include "app/text/ShiftJis.h"
#include "app/text/TextHelpers.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

QString decodeFileText(QByteArrayView bytes)
{
    static constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
    if (bytes.startsWith(kUtf8Bom))
        return QString::fromUtf8(bytes.sliced(3));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return threadShiftJis().decode(bytes);
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

}  // namespace

IniFile IniFile::read(const QString& path)
{
    IniFile unread;
    const QFileInfo info(path);
    if (!info.exists()) {
        unread.problem_ = path + u" does not exist"_s;
        return unread;
    }
    // Checked before opening: a FIFO would block the open, a device never end.
    if (!info.isFile()) {
        unread.problem_ = path + u" is not a regular file"_s;
        return unread;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        unread.problem_ = path + u": "_s + file.errorString();
        return unread;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        unread.problem_ = path + u" is larger than %1 bytes"_s.arg(kMaxFileBytes);
        return unread;
    }
    return parse(bytes);
}

IniFile IniFile::parse(QByteArrayView bytes)
{
    IniFile ini;
    const QString text = decodeFileText(bytes);
    Section* current = nullptr;
    for (QStringView rawLine : QStringView(text).split(u'\n')) {
        if (rawLine.endsWith(u'\r'))
            rawLine.chop(1);
        const QStringView line = trimBlanks(rawLine);
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1);
            ini.sections_.push_back({trimBlanks(name).toString(), {}});
            current = &ini.sections_.back();
            continue;
        }
        if (!current)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        Entry entry;
        entry.line = rawLine.toString();
        if (equals >= 0) {
            entry.key = trimBlanks(line.left(equals)).toString();
            entry.value = trimBlanks(line.mid(equals + 1)).toString();
        }
        current->entries.push_back(std::move(entry));
    }
    return ini;
}

const IniFile::Section* IniFile::findSection(QStringView name) const
{
    for (const Section& section : sections_) {
        if (QStringView(section.name).compare(name, Qt::CaseInsensitive) == 0)
            return &section;
    }
    return nullptr;
}

QString IniFile::value(QStringView section, QStringView key, int bufferSize) const
{
    const Section* found = findSection(section);
    if (!found || bufferSize <= 1)
        return {};
    for (const Entry& entry : found->entries) {
        if (!entry.key.isEmpty() && QStringView(entry.key).compare(key, Qt::CaseInsensitive) == 0)
            return cutAtNul(entry.value).left(bufferSize - 1);
    }
    return {};
}

QStringList IniFile::sectionLines(QStringView section, int bufferSize) const
{
    QStringList lines;
    const Section* found = findSection(section);
    if (!found)
        return lines;
    qsizetype room = bufferSize - 1;  // the list ends with one more NUL
    for (const Entry& entry : found->entries) {
        const QString line = cutAtNul(entry.line);
        if (line.isEmpty() || room <= 1)
            break;
        if (line.size() + 1 > room) {
            lines << line.left(room - 1);
            break;
        }
        lines << line;
        room -= line.size() + 1;
    }
    return lines;
}

}  // namespace edi
