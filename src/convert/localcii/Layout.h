#pragma once

#include "convert/localcii/LayoutItem.h"

#include <QString>
#include <stdexcept>
#include <unordered_map>
#include <vector>

namespace edi {

// A layout the converters cannot work with: a missing required column, negative or impossible
// lengths, or a record beyond the size limit.
class LayoutError : public std::runtime_error {
public:
    explicit LayoutError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// A layout table (the CII or the local layout of one message group) with the lengths of its
// groups computed. Items are addressed by 1-based index as the layout numbers them; index 0
// stands for "none" and, as a search start, for the first item.
class Layout {
public:
    // Nesting deeper than this is refused; no real message comes close.
    static constexpr qint32 kMaxLevel = 64;
    // A length, repeat count or record larger than this is refused.
    static constexpr qint64 kMaxBytes = 1 << 20;

    Layout() = default;
    // LoadLayout: takes the rows in order and sets each group's 長さ to the length of one
    // occurrence, members' decimal points included. Throws LayoutError.
    static Layout load(std::vector<LayoutItem> rows);

    bool empty() const { return items_.empty(); }
    qint32 size() const { return qint32(items_.size()); }
    const LayoutItem& item(qint32 index) const { return items_[size_t(index - 1)]; }
    const std::vector<LayoutItem>& items() const { return items_; }

    // FindItemByTag: from start on, the first item of the level whose 項目№ is tag; deeper items
    // are passed over, an item of a lower level ends the search. 0 when there is none.
    qint32 findItemByTag(qint32 start, qint32 tag, qint32 level) const;
    // FindGroup: the same walk for the first group item of the level, or with byNumber the first
    // whose マルチ明細番号 read as a number equals number.
    qint32 findGroup(qint32 start, qint32 level, bool byNumber, qint32 number) const;
    // FindLocalItem: the item whose 項目通番 is serial; 0 when there is none.
    qint32 findBySerial(qint32 serial) const;
    // The first item of the whole layout whose 項目№ is number; 0 when there is none.
    qint32 firstWithItemNumber(qint32 number) const;

    // マルチ明細番号 of an item read as a number (its leading digits).
    qint32 multiDetailNumber(qint32 index) const { return multiDetailNumbers_[size_t(index - 1)]; }

private:
    template <typename Match>
    qint32 walk(qint32 start, qint32 level, Match match) const;

    std::vector<LayoutItem> items_;
    // Per item, packed for the walks of the decoders' hot path: level and 項目№.
    std::vector<qint32> levels_;
    std::vector<qint32> itemNumbers_;
    std::vector<qint32> multiDetailNumbers_;
    std::unordered_map<qint32, qint32> firstByItemNumber_;
};

}  // namespace edi
