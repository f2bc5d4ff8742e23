// Conversion with layouts built from the input: the masters a user maintains by hand may hold
// any levels, lengths, decimals, repeat counts, positions and group numbers, and loading them,
// laying out the local record and placing values must either work or end with a code.
//
// Input: two bytes with the row counts of the CII and the local layout (each 0-16, from the low
// seven bits), then 11 bytes per row, then the message body. The CII file is one group header
// (storage mode S when the first byte's top bit is set, else M) with the body as two messages,
// and a trailer. When the second byte's top bit is set, the body is repeated up to 70000 bytes:
// long-form prefixes, and messages over several blocks of either mode.

#include "FuzzSupport.h"

#include "convert/localcii/CiiBlockWriter.h"

#include <algorithm>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr size_t kRowBytes = 11;

edi::LayoutItem row(const uint8_t* r, qint32 serial, qint32 otherRows)
{
    static const char* const attributes[] = {"X", "K", "9", "N", "Y", "M", "B", "", "Z", " M "};
    edi::LayoutItem item;
    item.serial = serial;
    item.counterpartSerial = otherRows == 0 ? 0 : r[10] % (otherRows + 1);
    item.level = r[0] < 200 ? r[0] % 5 : r[0] - 200;  // now and then deeper than any layout may be
    item.itemNumber = (r[1] << 8 | r[2]) + (r[1] >= 0xF8 ? 65536 : 0);
    item.attribute = QString::fromLatin1(attributes[r[3] % 10]);
    item.length = r[4];
    if (r[5] & 0x80)
        item.length *= 4096;
    if (r[5] & 0x40)
        item.length = -item.length;
    item.decimals = r[5] & 0x0F;
    item.multiDetailNumber = r[6] >= 250 ? QString::fromLatin1(r[6] & 1 ? "x7" : "") : QString::number(r[6]);
    item.repeatCount = r[7];
    if (r[8] & 0x80)
        item.repeatCount *= 4096;
    const int position = (r[8] & 0x7F) << 8 | r[9];
    item.position = position == 0x7FFF ? u"x"_s : QString::number(position);
    item.name = u"項目%1"_s.arg(serial);
    return item;
}

// The most bytes the blank record's filling may copy for one item: its width times the
// occurrences of the groups open at lower levels.
qint64 blankFillBudget(const std::vector<edi::LayoutItem>& rows)
{
    std::vector<qint64> openGroup(edi::Layout::kMaxLevel + 1, 0);  // occurrences of the group open at a level
    qint64 most = 0;
    for (const edi::LayoutItem& item : rows) {
        if (item.level < 0 || item.level >= edi::Layout::kMaxLevel)
            continue;
        qint64 occurrences = 1;
        for (qint32 level = 0; level < item.level; ++level) {
            if (openGroup[size_t(level)] != 0)
                occurrences = std::min<qint64>(occurrences * openGroup[size_t(level)], qint64(1) << 40);
        }
        most = std::max(most, occurrences * std::max(1, std::abs(item.length) + 1));
        std::fill(openGroup.begin() + item.level, openGroup.end(), 0);
        if (item.isGroup())
            openGroup[size_t(item.level)] = std::max(1, item.repeatCount);
    }
    return most;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const qint32 ciiRows = (data[0] & 0x7F) % 17;
    const qint32 localRows = (data[1] & 0x7F) % 17;
    const size_t layoutBytes = 2 + kRowBytes * size_t(ciiRows + localRows);
    if (size < layoutBytes)
        return 0;
    edi::fuzz::GivenMasters masters;
    const uint8_t* r = data + 2;
    for (qint32 i = 0; i < ciiRows; ++i, r += kRowBytes)
        masters.cii.push_back(row(r, i + 1, localRows));
    for (qint32 i = 0; i < localRows; ++i, r += kRowBytes)
        masters.local.push_back(row(r, i + 1, ciiRows));

    // Blank records are filled occurrence by occurrence. An item whose level skips past its group's
    // member level is still repeated with the group, each time over its whole width, so such
    // layouts with large counts and widths take minutes; inputs above a budget of bytes copied
    // are left out so that the target keeps looking for other faults.
    if (blankFillBudget(masters.local) > (qint64(1) << 28))
        return 0;

    const char mode = data[0] & 0x80 ? 'S' : 'M';
    const std::vector<uint8_t> bodyBytes = data[1] & 0x80
                                             ? edi::fuzz::repeated(data + layoutBytes, size - layoutBytes, 70000)
                                             : std::vector<uint8_t>(data + layoutBytes, data + size);
    const std::span<const char> body(reinterpret_cast<const char*>(bodyBytes.data()), bodyBytes.size());
    QByteArray cii;
    edi::appendHeaderBlock(cii, edi::fuzz::groupHeader(u"0901"_s, u"GIVEN"_s, mode));
    edi::appendMessageBlocks(cii, 1, body, mode);
    edi::appendMessageBlocks(cii, 2, body, mode);
    edi::MessageGroupTrailer trailer;
    trailer.fill(1, edi::FixedRecord::kSize, u"00002"_s);
    edi::appendTrailerBlock(cii, trailer);

    const edi::fuzz::ScratchRun run("GIVEN.CII", reinterpret_cast<const uint8_t*>(cii.constData()), size_t(cii.size()));
    const edi::ConversionResult result = edi::fuzz::convertLocalFile(masters, run.input, run.outputs);
    if (result.code.size() != 4)
        __builtin_trap();
    if (std::getenv("EDI_FUZZ_VERBOSE"))
        edi::fuzz::describeRun(result, run.outputs);
    return 0;
}
