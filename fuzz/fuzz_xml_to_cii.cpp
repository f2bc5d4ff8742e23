// The XML-to-CII conversion on arbitrary documents: the streaming reader (declarations and
// encodings, entities, CDATA, comments, processing instructions, nesting, documents that do not
// parse), the header fields, groups opened by changed headers, and the message encoder (names,
// numbers, groups, repetitions, values of every attribute), against the fixed masters of
// FuzzSupport.h.
//
// The input is the XML document; it is appended to a CII file that already holds a message
// group. Besides the sanitizers' findings, the run fails when
//   - the result code is not four digits, disagrees with the failure text, or is neither "0000"
//     nor "0002" (a document that does not parse);
//   - a temporary file is left, a document that does not parse changed the CII file, or one that
//     does changed what the file held before;
//   - the CII file is not framed as a reader takes it: groups of a header, messages numbered
//     from 1 and a trailer that counts them; each message's length as its prefix gives it, its
//     body ending with the end byte, every length indicator readable (checked up to the first
//     header whose storage mode and storage flag contradict each other, whose blocks no reader
//     can frame).
// The CII file is then converted back to XML, for the sanitizers to watch that direction on
// CII of every structure a document can give; whether its documents parse is the check of
// fuzz_cii_to_xml.
// With EDI_FUZZ_VERBOSE set, each run prints both result codes and what they wrote; with
// EDI_FUZZ_KEEP=FOLDER its files are kept there.

#include "FuzzSupport.h"

#include "convert/localcii/BodyDecoder.h"
#include "convert/localcii/CiiBlockWriter.h"
#include "convert/localcii/CiiFileReader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace Qt::Literals::StringLiterals;

namespace {

namespace fs = std::filesystem;

[[noreturn]] void finding(const std::string& what)
{
    std::fprintf(stderr, "fuzz_xml_to_cii: %s\n", what.c_str());
    __builtin_trap();
}

// The group the CII file holds before the document is appended: one firm order.
const QByteArray& priorGroup()
{
    static const QByteArray bytes = [] {
        QByteArray out;
        edi::appendHeaderBlock(out, edi::fuzz::groupHeader(u"0101"_s, u"DEMO0101"_s, 'M'));
        const QByteArray body =
            edi::fuzz::BodyWriter().element(1, "PO00000001").element(2, "20261208").element(4, "TKY001").bytes();
        edi::appendMessageBlocks(out, 1, body, 'M');
        edi::MessageGroupTrailer trailer;
        trailer.fill(1, edi::FixedRecord::kSize, u"00001"_s);
        edi::appendTrailerBlock(out, trailer);
        return out;
    }();
    return bytes;
}

// Reads a CII file as the converters do and fails on anything a writer must not produce.
class FramingCheck {
public:
    explicit FramingCheck(edi::CiiInput& input) : input_(input), decoder_(input, layout_) {}

    void run()
    {
        edi::readCiiFile(input_, header_, trailer_, *this);
        if (inGroup_ && !stopped_)
            finding("a message group without its trailer");
    }

    bool header()
    {
        if (inGroup_)
            finding("a header inside a message group");
        // A mode whose blocks are padded is read with the flag "11", the others without it.
        const QByteArrayView flag = header_.storageFlag();
        const bool padded = edi::blockSizesFor(header_.storageMode()).padded;
        if (flag != "20" && (flag == "11") != padded) {
            stopped_ = true;
            return false;
        }
        inGroup_ = true;
        messages_ = 0;
        return true;
    }
    void trailer()
    {
        if (!inGroup_)
            finding("a trailer outside a message group");
        inGroup_ = false;
        const qint64 count = edi::prefixNumber(trailer_.field(1, 5).data(), 5);
        if (!header_.skipsMessages() && count != messages_ % 100000)
            finding("the trailer counts " + std::to_string(count) + " messages for " + std::to_string(messages_));
    }
    bool message(const edi::MessagePrefix& prefix)
    {
        if (!inGroup_)
            finding("a message outside a message group");
        ++messages_;
        if (prefix.number != messages_ % 100000)
            finding("message " + std::to_string(messages_) + " is numbered " + std::to_string(prefix.number));
        if (decoder_.decode(*this) != edi::BodyEnd::EndByte)
            finding("a message body without its end byte");
        if (input_.bodyBytesRead() != prefix.length - prefix.consumed + 1)
            finding("a message of " + std::to_string(input_.bodyBytesRead()) + " body bytes whose prefix gives "
                    + std::to_string(prefix.length - prefix.consumed + 1));
        if (header_.storageFlag() == "11" && !input_.skipRestOfBlock())
            finding("the file ends inside a message's last block");
        return true;
    }
    void badIdentifier(bool) { finding("a block identifier that is none"); }
    void truncated() { finding("the file ends inside a block"); }
    void noHeader() { finding("CII without a group header"); }

    void element(qint32, std::span<const char>, qint32) {}
    void groupStart(qint32, qint32, qint32, bool) {}
    void repetitionStart(qint32) {}
    void repetitionEnd(qint32) {}
    void groupEnd(qint32) {}
    // Control bytes in odd places follow the document's structure (a repetition outside its
    // group, nesting deeper than a layout can have); the body is still framed.
    void controlByteOutOfPlace(int) {}
    void malformedLength() { finding("a length indicator that is none"); }
    bool acceptsZeroLength() { return true; }

private:
    edi::CiiInput& input_;
    edi::Layout layout_;  // none: the grammar alone is read
    edi::BodyDecoder decoder_;
    edi::MessageGroupHeader header_;
    edi::MessageGroupTrailer trailer_;
    bool inGroup_ = false;
    bool stopped_ = false;
    qint64 messages_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const edi::fuzz::ScratchRun run("IN.XML", data, size);
    const std::string& outputs = run.outputs;
    const std::string cii = outputs + "/OUT.CII";
    const QByteArray& prior = priorGroup();
    edi::fuzz::writeWholeFile(cii, reinterpret_cast<const uint8_t*>(prior.constData()), size_t(prior.size()));
    const bool verbose = std::getenv("EDI_FUZZ_VERBOSE") != nullptr;

    edi::fuzz::FixedMasters masters;
    const edi::ConversionResult result =
        edi::fuzz::convertCiiXmlFile(masters, run.input, cii, edi::CiiXmlDirection::XmlToCii);
    if (verbose)
        edi::fuzz::describeRun(result, outputs);
    edi::fuzz::keepOutputs(outputs);
    if (!edi::fuzz::isWellFormedResult(result) || (result.code != u"0000"_s && result.code != u"0002"_s))
        finding("result " + result.code.toStdString() + " " + result.failure.toStdString());
    if (edi::fuzz::fileNamesIn(outputs) != std::vector<std::string>{"ERR.LOG", "OUT.CII"})
        finding("the output folder holds other files than the log and the CII file");
    const QByteArray written = edi::fuzz::readWholeFile(cii);
    if (result.code == u"0002"_s) {
        if (written != prior)
            finding("a document that does not parse changed the CII file");
    } else if (!written.startsWith(prior)) {
        finding("the CII file lost what it held before");
    }

    if (result.code == u"0000"_s) {
        {
            edi::CiiInput in(QString::fromStdString(cii));
            FramingCheck(in).run();
        }
        // Back to XML.
        const std::string documents = outputs + "/xml";
        fs::create_directories(documents);
        const edi::ConversionResult back =
            edi::fuzz::convertCiiXmlFile(masters, cii, documents + "/OUT.XML", edi::CiiXmlDirection::CiiToXml);
        if (verbose)
            edi::fuzz::describeRun(back, documents);
        edi::fuzz::keepOutputs(outputs);
        if (!edi::fuzz::isWellFormedResult(back))
            finding("result " + back.code.toStdString() + " " + back.failure.toStdString());
        for (const std::string& name : edi::fuzz::fileNamesIn(documents)) {
            if (name != "ERR.LOG" && (name.size() < 4 || name.substr(name.size() - 4) != ".XML"))
                finding("CII to XML left " + name);
        }
    }
    return 0;
}
