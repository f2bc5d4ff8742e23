#include "convert/localcii/LocalRecord.h"

#include "app/config/ConfigNumber.h"
#include "app/text/ShiftJis.h"

#include <algorithm>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr char kFullWidthSpace[] = "\x81\x40";

// The blank value of an item: zeros for numbers and dates, full-width spaces for double-byte
// text, nothing (the record's spaces) for the rest.
QByteArray blankValue(const LayoutItem& item)
{
    if (item.attribute == u"9" || item.attribute == u"N" || item.attribute == u"Y") {
        QByteArray zeros(item.length - item.decimals, '0');
        if (item.decimals != 0)
            zeros += '.' + QByteArray(item.decimals, '0');
        return zeros;
    }
    if (item.attribute == u"K") {
        const qint32 half = item.length / 2;
        const qint32 count = (item.length % 2 != 0 && half % 2 != 0) ? half + 1 : half;  // half to even
        return QByteArray(kFullWidthSpace).repeated(count);
    }
    return {};
}

}  // namespace

void putIntoRecord(std::span<char> record, qsizetype offset, QByteArrayView value)
{
    const qsizetype size = qsizetype(record.size());
    if (offset < 0 || offset >= size)
        return;
    const qsizetype count = std::min(value.size(), size - offset);
    std::memcpy(record.data() + offset, value.data(), size_t(count));
}

void putPaddedText(std::span<char> record, qsizetype offset, std::span<const char> value, qsizetype length)
{
    const qsizetype size = qsizetype(record.size());
    if (offset < 0 || offset >= size)
        return;
    const qsizetype end = std::min(offset + std::max(length, qsizetype(value.size())), size);
    const qsizetype copied = std::min(qsizetype(value.size()), end - offset);
    std::memcpy(record.data() + offset, value.data(), size_t(copied));
    if (endsInLoneLeadByte(QByteArrayView(value.data(), copied)))
        record[size_t(offset + copied - 1)] = ' ';  // it would pair with the padding or the next field
    std::memset(record.data() + offset + copied, ' ', size_t(end - offset - copied));
}

void putIntoField(std::span<char> record, qsizetype offset, qsizetype width, QByteArrayView value)
{
    if (value.size() <= width) {
        putIntoRecord(record, offset, value);
        return;
    }
    // Walk the characters to see whether the cut falls inside one.
    qsizetype end = 0;
    while (end < width) {
        const qsizetype step = isShiftJisLeadByte(uchar(value[end])) ? 2 : 1;
        if (end + step > width)
            break;
        end += step;
    }
    putIntoRecord(record, offset, value.first(end));
    if (end < width)
        putIntoRecord(record, offset + end, " ");
}

LocalRecordLayout::LocalRecordLayout(const Layout& local)
{
    qint64 recordLength = 0;
    std::vector<qint32> openGroup(Layout::kMaxLevel + 1, 0);  // group item index by its level
    placements_.resize(size_t(local.size()));
    for (qint32 index = 1; index <= local.size(); ++index) {
        const LayoutItem& item = local.item(index);
        // A nested group's own position is never used, so it may be left empty; a level-0
        // group's counts towards the record's length, and what is placed needs one.
        const qint64 position = leadingConfigNumber(item.position);
        if (position < (item.isGroup() && item.level > 0 ? 0 : 1))
            throw LayoutError(u"項目通番 %1 (%2): 項目位置 \"%3\" is not a position"_s.arg(item.serial).arg(item.name, item.position));
        Placement& placement = placements_[size_t(index - 1)];
        placement.offset = std::max<qint64>(position - 1, 0);
        placement.width = item.fieldWidth();
        qint64 occurrencesInAll = 1;
        for (qint32 level = item.level - 1; level >= 0; --level) {
            const qint32 group = openGroup[size_t(level)];
            if (group == 0)
                continue;
            const LayoutItem& enclosing = local.item(group);
            placement.enclosing.push_back({level + 1, enclosing.length, enclosing.occurrences()});
            occurrencesInAll *= enclosing.occurrences();
            if (occurrencesInAll > Layout::kMaxBytes)
                throw LayoutError(u"項目通番 %1 (%2): too many occurrences"_s.arg(item.serial).arg(item.name));
        }
        if (item.level == 0) {
            const qint64 end = position + (item.isGroup() ? qint64(item.occurrences()) * item.length : item.length);
            recordLength = std::max(recordLength, end);
        }
        // A group opens for the items after it; an item closes the groups of its level and deeper.
        std::fill(openGroup.begin() + item.level, openGroup.end(), 0);
        if (item.isGroup())
            openGroup[size_t(item.level)] = index;
    }
    if (recordLength > Layout::kMaxBytes)
        throw LayoutError(u"The local record would be %1 bytes long"_s.arg(recordLength));
    // Blank values are written once per occurrence; a layout whose occurrences overlap (a member
    // outside its group's length) could ask for far more writes than the record has bytes.
    qint64 blankBytes = 0;
    for (qint32 index = 1; index <= local.size(); ++index) {
        const Placement& placement = placements_[size_t(index - 1)];
        qint64 occurrences = 1;
        for (const Placement::Enclosing& group : placement.enclosing)
            occurrences *= group.occurrences;
        blankBytes += occurrences * placement.width;
        if (blankBytes > kMaxBlankBytes)
            throw LayoutError(u"The local layout's blank values would take over %1 bytes"_s.arg(kMaxBlankBytes));
    }
    blank_ = QByteArray(recordLength, ' ');
    fillBlankValues(local);
}

void LocalRecordLayout::fillBlankValues(const Layout& local)
{
    for (qint32 index = 1; index <= local.size(); ++index) {
        const LayoutItem& item = local.item(index);
        if (item.isGroup())
            continue;
        const QByteArray value = blankValue(item);
        if (value.isEmpty())
            continue;
        const Placement& placement = placements_[size_t(index - 1)];
        // Every occurrence of every enclosing group, counted like an odometer.
        std::vector<qint32> occurrence(placement.enclosing.size(), 1);
        for (;;) {
            qint64 offset = placement.offset;
            for (size_t g = 0; g < occurrence.size(); ++g)
                offset += qint64(occurrence[g] - 1) * placement.enclosing[g].stride;
            putIntoField(std::span<char>(blank_.data(), size_t(blank_.size())), offset, placement.width, value);
            size_t g = 0;
            while (g < occurrence.size() && ++occurrence[g] > placement.enclosing[g].occurrences)
                occurrence[g++] = 1;
            if (g == occurrence.size())
                break;
        }
    }
}

}  // namespace edi
