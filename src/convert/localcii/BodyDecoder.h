#pragma once

#include "convert/localcii/CiiInput.h"
#include "convert/localcii/ConversionCodes.h"
#include "convert/localcii/Layout.h"

#include <optional>
#include <span>
#include <vector>

namespace edi {

// Where a message body ended.
enum class BodyEnd {
    EndByte,    // the end byte X'FE'
    EndOfFile,  // the file ended inside the body
    Stopped,    // the consumer refused a zero-length element
};

// What a body decoder tells its consumer, in body order. Both converters decode bodies with
// the one grammar below and differ only in what they do with these events.
template <typename T>
concept BodyConsumer = requires(T consumer, qint32 index, qint32 level, std::span<const char> value, int code, bool flag) {
    consumer.element(index, value, level);          // a data element that matched layout item index
    consumer.groupStart(index, level, index, flag); // number as read (0 in the one-byte section), level
                                                    // before opening, group item (0: none), two-byte section
    consumer.repetitionStart(level);                // the new level
    consumer.repetitionEnd(level);
    consumer.groupEnd(level);                       // level after closing
    consumer.controlByteOutOfPlace(code);           // 10 X'FB' / 11 X'FC' outside a group, 13 no meaning here
    consumer.malformedLength();                     // a length indicator that is none (warning 9)
    { consumer.acceptsZeroLength() } -> std::same_as<bool>;
};

// Decodes CII message bodies against a layout: data elements with one-, two- and three-byte tags
// in their two sections, multi-detail groups that nest and repeat, and the end byte. Elements are
// matched to layout items by walking forward from each level's cursor, so a body that follows the
// layout is decoded in one pass over it. Buffers are kept from message to message.
class BodyDecoder {
public:
    BodyDecoder(CiiInput& input, const Layout& layout) : input_(input), layout_(&layout) {}
    void setLayout(const Layout& layout) { layout_ = &layout; }

    template <BodyConsumer Consumer>
    BodyEnd decode(Consumer& consumer);

    qint32 level() const { return level_; }
    // The repetition of the group open at a level; 1 for a level that is not open.
    qint32 repetition(qint32 level) const
    {
        return level >= 1 && level <= level_ ? repetitions_[size_t(level)] : 1;
    }

private:
    // nullopt when decoding goes on after the element.
    template <BodyConsumer Consumer>
    std::optional<BodyEnd> element(Consumer& consumer, qint32 tag);
    template <BodyConsumer Consumer>
    void openGroup(Consumer& consumer, bool twoByteSection, qint32 number);

    CiiInput& input_;
    const Layout* layout_;
    qint32 level_ = 0;
    std::vector<qint32> cursors_;      // per level: 1-based layout index where searches start
    std::vector<qint32> repetitions_;  // per level
    std::vector<char> value_;  // a value that runs across a block or the input's buffer
};

template <BodyConsumer Consumer>
BodyEnd BodyDecoder::decode(Consumer& consumer)
{
    level_ = 0;
    cursors_.assign(1, 0);
    repetitions_.assign(1, 1);
    bool twoByteSection = false;
    for (;;) {
        const int b = input_.bodyByte();
        if (b < 0)
            return BodyEnd::EndOfFile;
        std::optional<BodyEnd> end;
        if (b <= 239) {
            qint32 tag = b;
            if (twoByteSection) {
                const int low = input_.bodyByte();
                if (low < 0)
                    return BodyEnd::EndOfFile;
                tag = b * 256 + low;
            }
            end = element(consumer, tag);
        } else if (twoByteSection && b >= 0xF1 && b <= 0xF7) {
            const int middle = input_.bodyByte();
            const int low = middle < 0 ? -1 : input_.bodyByte();
            if (low < 0)
                return BodyEnd::EndOfFile;
            end = element(consumer, (b - 240) * 65536 + middle * 256 + low);
        } else {
            switch (b) {
            case 0xF0:
                twoByteSection = true;  // silent when already there: writers emit it before groups
                break;
            case 0xF9:
                if (!twoByteSection)
                    consumer.controlByteOutOfPlace(ConversionCode::OutOfPlace);
                else if (input_.bodyByte() < 0)
                    return BodyEnd::EndOfFile;
                break;
            case 0xFA:
                if (!twoByteSection) {
                    openGroup(consumer, false, 0);
                } else {
                    const int number = input_.bodyByte();
                    if (number < 0)
                        return BodyEnd::EndOfFile;
                    openGroup(consumer, true, number);
                }
                break;
            case 0xFD:
                if (!twoByteSection) {
                    consumer.controlByteOutOfPlace(ConversionCode::OutOfPlace);
                } else {
                    const int high = input_.bodyByte();
                    const int low = high < 0 ? -1 : input_.bodyByte();
                    if (low < 0)
                        return BodyEnd::EndOfFile;
                    openGroup(consumer, true, high * 256 + low);
                }
                break;
            case 0xFB:
                if (level_ == 0) {
                    consumer.controlByteOutOfPlace(ConversionCode::RepetitionOutsideGroup);
                } else {
                    ++repetitions_[size_t(level_)];
                    cursors_[size_t(level_)] = cursors_[size_t(level_ - 1)] + 1;
                    consumer.repetitionEnd(level_);
                    consumer.repetitionStart(level_);
                }
                break;
            case 0xFC:
                if (level_ == 0) {
                    consumer.controlByteOutOfPlace(ConversionCode::GroupEndOutsideGroup);
                } else {
                    consumer.repetitionEnd(level_);
                    --level_;
                    consumer.groupEnd(level_);
                }
                break;
            case 0xFE:
                return BodyEnd::EndByte;
            default:  // X'F1'-X'F8' in the one-byte section, X'F8' and X'FF' anywhere
                consumer.controlByteOutOfPlace(ConversionCode::OutOfPlace);
                break;
            }
        }
        if (end)
            return *end;
    }
}

template <BodyConsumer Consumer>
std::optional<BodyEnd> BodyDecoder::element(Consumer& consumer, qint32 tag)
{
    const int indicator = input_.bodyByte();
    if (indicator < 0)
        return BodyEnd::EndOfFile;
    qint32 length = 0;
    if (indicator <= 239) {
        length = indicator;
    } else if (indicator == 242) {
        const int high = input_.bodyByte();
        const int low = high < 0 ? -1 : input_.bodyByte();
        if (low < 0)
            return BodyEnd::EndOfFile;
        length = high * 256 + low;
    } else {
        consumer.malformedLength();
    }
    if (length == 0 && !consumer.acceptsZeroLength())
        return BodyEnd::Stopped;
    const std::optional<std::span<const char>> value = input_.bodyView(length, value_);
    if (!value)
        return BodyEnd::EndOfFile;
    const qint32 found = layout_->findItemByTag(cursors_[size_t(level_)], tag, level_);
    if (found != 0) {
        cursors_[size_t(level_)] = found;
        consumer.element(found, *value, level_);
    }
    return std::nullopt;
}

template <BodyConsumer Consumer>
void BodyDecoder::openGroup(Consumer& consumer, bool twoByteSection, qint32 number)
{
    if (level_ + 1 >= Layout::kMaxLevel) {
        consumer.controlByteOutOfPlace(ConversionCode::OutOfPlace);  // deeper than any layout can describe
        return;
    }
    const qint32 found = layout_->findGroup(cursors_[size_t(level_)], level_, twoByteSection, number);
    if (found != 0)
        cursors_[size_t(level_)] = found;
    consumer.groupStart(number, level_, found, twoByteSection);
    ++level_;
    cursors_.resize(std::max(cursors_.size(), size_t(level_ + 1)));
    repetitions_.resize(cursors_.size());
    cursors_[size_t(level_)] = cursors_[size_t(level_ - 1)] + 1;
    repetitions_[size_t(level_)] = 1;
    consumer.repetitionStart(level_);
}

}  // namespace edi
