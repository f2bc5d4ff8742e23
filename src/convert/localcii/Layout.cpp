#include "convert/localcii/Layout.h"

#include "app/config/ConfigNumber.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

void check(bool ok, const LayoutItem& item, const QString& what)
{
    if (!ok)
        throw LayoutError(u"項目通番 %1 (%2): %3"_s.arg(item.serial).arg(item.name, what));
}

void validate(const LayoutItem& item)
{
    check(item.level >= 0 && item.level < Layout::kMaxLevel, item, u"レベル番号 out of range"_s);
    check(item.length >= 0 && item.length <= Layout::kMaxBytes, item, u"長さ out of range"_s);
    check(item.decimals >= 0 && item.decimals <= item.length, item, u"小数部長さ out of range"_s);
    check(item.repeatCount >= 0 && item.repeatCount <= Layout::kMaxBytes, item, u"繰返し数 out of range"_s);
}

}  // namespace

Layout Layout::load(std::vector<LayoutItem> rows)
{
    Layout layout;
    // openGroup[L]: the group whose members are at level L, while it is open.
    std::vector<qint32> openGroup(kMaxLevel + 1, -1);
    std::vector<qint64> lengths(rows.size(), 0);
    qint32 depth = 0;

    auto closeGroupsAbove = [&](qint32 level) {
        for (; depth > level; --depth) {
            const qint32 group = openGroup[size_t(depth)];
            openGroup[size_t(depth)] = -1;
            if (group < 0)
                continue;
            const qint64 contribution = lengths[size_t(group)] * rows[size_t(group)].occurrences();
            const qint32 enclosing = openGroup[size_t(depth - 1)];
            if (depth - 1 >= 1 && enclosing >= 0)
                lengths[size_t(enclosing)] += contribution;
            if (contribution > kMaxBytes)
                throw LayoutError(u"項目通番 %1: group larger than %2 bytes"_s.arg(rows[size_t(group)].serial).arg(kMaxBytes));
        }
    };

    for (size_t i = 0; i < rows.size(); ++i) {
        LayoutItem& item = rows[i];
        validate(item);
        closeGroupsAbove(item.level);
        if (item.isGroup())
            item.length = 0;
        const qint32 enclosing = item.level >= 1 ? openGroup[size_t(item.level)] : -1;
        if (enclosing >= 0)
            lengths[size_t(enclosing)] += item.length + (item.decimals != 0 ? 1 : 0);
        if (item.isGroup()) {
            openGroup[size_t(item.level + 1)] = qint32(i);
            depth = item.level + 1;
        } else {
            depth = std::max(depth, item.level);
        }
    }
    closeGroupsAbove(0);

    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].isGroup())
            rows[i].length = qint32(lengths[i]);
        layout.multiDetailNumbers_.push_back(leadingConfigNumber(rows[i].multiDetailNumber));
        layout.levels_.push_back(rows[i].level);
        layout.itemNumbers_.push_back(rows[i].itemNumber);
        layout.firstByItemNumber_.try_emplace(rows[i].itemNumber, qint32(i + 1));
    }
    layout.items_ = std::move(rows);
    return layout;
}

template <typename Match>
qint32 Layout::walk(qint32 start, qint32 level, Match match) const
{
    for (qint32 index = std::max(start, 1); index <= size(); ++index) {
        const qint32 candidateLevel = levels_[size_t(index - 1)];
        if (candidateLevel < level)
            return 0;
        if (candidateLevel == level && match(index))
            return index;
    }
    return 0;
}

qint32 Layout::findItemByTag(qint32 start, qint32 tag, qint32 level) const
{
    return walk(start, level, [&](qint32 index) { return itemNumbers_[size_t(index - 1)] == tag; });
}

qint32 Layout::findGroup(qint32 start, qint32 level, bool byNumber, qint32 number) const
{
    return walk(start, level, [&](qint32 index) {
        return item(index).isGroup() && (!byNumber || multiDetailNumber(index) == number);
    });
}

qint32 Layout::firstWithItemNumber(qint32 number) const
{
    const auto found = firstByItemNumber_.find(number);
    return found == firstByItemNumber_.end() ? 0 : found->second;
}

qint32 Layout::findBySerial(qint32 serial) const
{
    for (qint32 index = 1; index <= size(); ++index) {
        if (item(index).serial == serial)
            return index;
    }
    return 0;
}

}  // namespace edi
