#pragma once

#include "convert/localcii/Layout.h"

#include <QByteArray>
#include <QByteArrayView>
#include <span>
#include <vector>

namespace edi {

// PutIntoRecord: replaces the bytes of the record from offset (0-based) on by the value's bytes.
// Bytes that would fall outside the record are dropped.
void putIntoRecord(std::span<char> record, qsizetype offset, QByteArrayView value);

// Writes a converted value into its field: at most width bytes, and when the cut would split a
// double-byte character its first half becomes a space. Bytes of the field after a shorter value
// keep what the record held.
void putIntoField(std::span<char> record, qsizetype offset, qsizetype width, QByteArrayView value);

// A text value and the spaces up to length, from offset on; bytes beyond the record are dropped.
// A lead byte without its second byte at the value's end is written as a space.
void putPaddedText(std::span<char> record, qsizetype offset, std::span<const char> value, qsizetype length);

// Where a local item's values go.
struct Placement {
    // One enclosing group: its occurrence is the repetition counter of the decoder at `level`.
    struct Enclosing {
        qint32 level;
        qint32 stride;       // the group's 長さ
        qint32 occurrences;  // 繰返し数, 0 counting as 1
    };
    qint64 offset = 0;  // 0-based byte offset of the first occurrence
    qint32 width = 0;   // bytes of the field
    std::vector<Enclosing> enclosing;  // innermost first
};

// A local layout made ready for records: the blank record every message starts from and the
// placement of each item. Throws LayoutError for positions before the record's start and for
// records or occurrence counts beyond Layout::kMaxBytes.
class LocalRecordLayout {
public:
    // The blank values of all occurrences together may take at most this many bytes.
    static constexpr qint64 kMaxBlankBytes = 16 * Layout::kMaxBytes;

    explicit LocalRecordLayout(const Layout& local);

    const QByteArray& blankRecord() const { return blank_; }
    const Placement& placement(qint32 index) const { return placements_[size_t(index - 1)]; }

    // The offset of an occurrence, or -1 when an occurrence number exceeds its group's count.
    // occurrenceAt(level) gives the decoder's repetition counter of a level.
    template <typename OccurrenceAt>
    qint64 offsetOf(qint32 index, OccurrenceAt occurrenceAt) const
    {
        return offsetIn(placement(index), occurrenceAt);
    }
    template <typename OccurrenceAt>
    static qint64 offsetIn(const Placement& p, OccurrenceAt occurrenceAt)
    {
        qint64 offset = p.offset;
        for (const Placement::Enclosing& group : p.enclosing) {
            const qint32 occurrence = occurrenceAt(group.level);
            if (occurrence > group.occurrences)
                return -1;
            offset += qint64(occurrence - 1) * group.stride;
        }
        return offset;
    }

private:
    void fillBlankValues(const Layout& local);

    std::vector<Placement> placements_;
    QByteArray blank_;
};

}  // namespace edi
