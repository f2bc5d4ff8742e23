// The message-body grammar on arbitrary bytes: data elements with one-, two- and three-byte tags
// and the three length indicator forms, the section switch, multi-detail groups opened, repeated
// and closed in both sections, control bytes out of place, bodies that end anywhere, bodies cut
// into the continuation blocks of storage mode M or S.
//
// Input: one control byte, then the bytes the decoder reads as message bodies one after another.
//   bits 0-1  the fixed layout (FuzzSupport.h)
//   bit 2     storage mode S (32001-byte blocks) instead of M (251-byte blocks)
//   bit 3     the first block's prefix is the long form (17 bytes) instead of 9
//   bit 4     the consumer accepts zero-length elements (otherwise they stop the body)
//   bit 5     the bytes are repeated up to 70000, so that bodies cross the continuation blocks
//             of storage mode S (a short input then stands for a long message)
// The consumer checks what the decoder reports against the layout and against its own count of
// open groups, and traps on the first disagreement.

#include "FuzzSupport.h"

#include "convert/localcii/BodyDecoder.h"
#include "convert/localcii/CiiInput.h"

#include <filesystem>

namespace {

#define REQUIRE(condition)          \
    do {                            \
        if (!(condition))           \
            __builtin_trap();       \
    } while (false)

struct Layouts {
    std::vector<edi::Layout> layouts;
    Layouts()
    {
        for (const edi::fuzz::FixedFormat& format : edi::fuzz::fixedFormats())
            layouts.push_back(edi::Layout::load(edi::fuzz::layoutRows(format.cii, false)));
    }
};

class CheckingConsumer {
public:
    CheckingConsumer(const edi::Layout& layout, const edi::BodyDecoder& decoder, bool acceptZero)
        : layout_(layout), decoder_(decoder), acceptZero_(acceptZero)
    {
    }

    void element(qint32 index, std::span<const char> value, qint32 level)
    {
        REQUIRE(index >= 1 && index <= layout_.size());
        REQUIRE(layout_.item(index).level == level);
        REQUIRE(level == decoder_.level() && level == depth_);
        REQUIRE(value.size() <= 0xFFFF);
        REQUIRE(value.empty() || value.data() != nullptr);
        // Reading every byte lets the sanitizers see a value that points outside its buffer.
        for (char c : value)
            checksum_ += uchar(c);
    }
    // The number as read, the level before opening, the group item (0: none); the decoder of
    // an earlier revision did not pass the section.
    void groupStart(qint32 number, qint32 level, qint32 found, bool twoByteSection = false)
    {
        REQUIRE(level == decoder_.level() && level == depth_);
        REQUIRE(number >= 0 && number <= 0xFFFF);
        if (found != 0) {
            REQUIRE(found >= 1 && found <= layout_.size());
            REQUIRE(layout_.item(found).isGroup() && layout_.item(found).level == level);
            if (twoByteSection)
                REQUIRE(layout_.multiDetailNumber(found) == number);
        }
        ++depth_;
        REQUIRE(depth_ < edi::Layout::kMaxLevel);
        awaitingRepetition_ = true;
    }
    void repetitionStart(qint32 level, qint32 = 0)
    {
        REQUIRE(level >= 1 && level == depth_ && level == decoder_.level());
        REQUIRE(decoder_.repetition(level) >= 1);
        awaitingRepetition_ = false;
    }
    void repetitionEnd(qint32 level)
    {
        REQUIRE(level >= 1 && level == depth_ && level == decoder_.level());
        REQUIRE(!awaitingRepetition_);
    }
    void groupEnd(qint32 level)
    {
        REQUIRE(level >= 0 && level == depth_ - 1 && level == decoder_.level());
        --depth_;
    }
    void controlByteOutOfPlace(int code)
    {
        REQUIRE(code == 10 || code == 11 || code == 13);
        if (code == 10 || code == 11)
            REQUIRE(depth_ == 0);
    }
    void malformedLength() {}
    bool acceptsZeroLength() { return acceptZero_; }

    // A new body starts at level 0, whatever the last one left open.
    void restart()
    {
        depth_ = 0;
        awaitingRepetition_ = false;
    }
    unsigned checksum() const { return checksum_; }

private:
    const edi::Layout& layout_;
    const edi::BodyDecoder& decoder_;
    bool acceptZero_;
    qint32 depth_ = 0;
    bool awaitingRepetition_ = false;
    unsigned checksum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Layouts fixed;
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const edi::Layout& layout = fixed.layouts[size_t(control & 3) % fixed.layouts.size()];
    const edi::BlockSizes sizes = edi::blockSizesFor(control & 4 ? 'S' : 'M');
    const qint32 consumed = control & 8 ? 17 : 9;

    const std::string path = edi::fuzz::scratchFolder() + "/BODY.CII";
    const std::vector<uint8_t> bytes = control & 32 ? edi::fuzz::repeated(data + 1, size - 1, 70000)
                                                    : std::vector<uint8_t>(data + 1, data + size);
    edi::fuzz::writeWholeFile(path, bytes.data(), bytes.size());
    edi::CiiInput input(QString::fromStdString(path));
    edi::BodyDecoder decoder(input, layout);
    CheckingConsumer consumer(layout, decoder, control & 16);

    qint64 before = input.offset();
    for (int message = 0; message < 1000; ++message) {
        input.beginBody(sizes, consumed);
        const edi::BodyEnd end = decoder.decode(consumer);
        REQUIRE(input.offset() >= before && input.offset() <= qint64(bytes.size()));
        REQUIRE(input.bodyBytesRead() <= input.offset() - before);
        if (end != edi::BodyEnd::EndByte)
            break;
        REQUIRE(input.bodyBytesRead() >= 1);
        // Mode M pads a message's last block; in mode S the next body follows at once.
        if (sizes.padded && !input.skipRestOfBlock())
            break;
        before = input.offset();
        consumer.restart();
    }
    const unsigned checksum = consumer.checksum();
    asm volatile("" : : "r"(checksum));  // keeps the reads of every value
    return 0;
}
