#include "convert/localcii/GroupHeaderScan.h"

#include "convert/localcii/CiiFileReader.h"

#include <algorithm>

namespace edi {
namespace {

// Keeps each header and steps over the messages as the converters would read them.
class HeaderCollector {
public:
    HeaderCollector(CiiInput& input, const MessageGroupHeader& header) : input_(input), header_(header) {}

    bool header()
    {
        found_.push_back(header_);
        return true;
    }
    void trailer() {}
    bool message(const MessagePrefix& prefix)
    {
        const qint64 rest = std::max<qint64>(prefix.length + 1 - prefix.consumed, 0);
        if (!input_.bodyBytes(nullptr, qsizetype(rest)))
            return false;
        return header_.storageFlag() != "11" || input_.skipRestOfBlock();
    }
    void badIdentifier(bool) {}
    void truncated() {}
    void noHeader() {}

    std::vector<MessageGroupHeader> take() { return std::move(found_); }

private:
    CiiInput& input_;
    const MessageGroupHeader& header_;
    std::vector<MessageGroupHeader> found_;
};

}  // namespace

std::vector<MessageGroupHeader> readGroupHeaders(const QString& ciiPath)
{
    CiiInput input(ciiPath);
    MessageGroupHeader header;
    MessageGroupTrailer trailer;
    HeaderCollector collector(input, header);
    readCiiFile(input, header, trailer, collector);
    return collector.take();
}

}  // namespace edi
