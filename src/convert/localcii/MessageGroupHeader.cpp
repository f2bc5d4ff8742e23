#include "convert/localcii/MessageGroupHeader.h"

#include "app/text/ShiftJis.h"

#include <algorithm>
#include <cstring>

namespace edi {

int fillFixedField(std::span<char> field, const QString& text)
{
    const QByteArray bytes = threadShiftJis().encode(text);
    int result = 0;
    size_t out = 0;
    for (qsizetype in = 0; in < bytes.size() && out < field.size();) {
        const bool lead = isShiftJisLeadByte(uchar(bytes[in])) && in + 1 < bytes.size();
        if (!lead) {
            field[out++] = bytes[in++];
            result |= StoredSingleByte;
        } else if (out + 1 < field.size()) {
            field[out++] = bytes[in++];
            field[out++] = bytes[in++];
            result |= StoredDoubleByte;
        } else {
            break;  // no room for the trail byte: the padding below leaves a space
        }
    }
    std::fill(field.begin() + qsizetype(out), field.end(), ' ');
    return result;
}

QString FixedRecord::text(int position, int width) const
{
    return threadShiftJis().decode(field(position, width));
}

QString MessageGroupHeader::bpid() const { return text(74, 8).trimmed(); }
QString MessageGroupHeader::infoClass() const { return text(94, 4).trimmed(); }
QString MessageGroupHeader::senderCode() const { return text(26, 12).trimmed(); }
QString MessageGroupHeader::receiverCode() const { return text(62, 12).trimmed(); }
QString MessageGroupHeader::exchangeReference() const { return text(106, 10).trimmed(); }
QString MessageGroupHeader::createdAt() const { return text(116, 12).trimmed(); }

QByteArray MessageGroupHeader::linePrefix() const
{
    QByteArray prefix(5, ' ');
    QByteArray infoClass = field(94, 4).toByteArray().trimmed();
    infoClass.resize(4, ' ');
    prefix += infoClass;
    prefix += QByteArray(6, ' ');
    prefix += field(26, 12).toByteArray();
    prefix += field(62, 12).toByteArray();
    return prefix;
}

BlockSizes blockSizesFor(char storageMode)
{
    if (storageMode == 'S')
        return {32001, 32000, false};
    return {251, 250, true};
}

}  // namespace edi
