#include "transport/mail/MimeSizeCheck.h"

#include <QByteArray>
#include <QFile>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

constexpr qint64 kChunk = 64 * 1024;  // lines are read in pieces of at most this

// The header block's Content-Type: its media type in lower case and its boundary parameter.
struct ContentType {
    QByteArray type;
    QByteArray boundary;
};

ContentType contentTypeOf(QByteArray block)
{
    block.replace("\r\n", "\n");
    block.replace("\n ", " ");
    block.replace("\n\t", " ");
    ContentType content;
    for (const QByteArray& line : block.split('\n')) {
        if (!line.toLower().startsWith("content-type:"))
            continue;
        const QByteArray value = line.mid(13).trimmed();
        content.type = value.left(value.indexOf(';')).trimmed().toLower();
        const qsizetype parameter = value.toLower().indexOf("boundary=");
        if (parameter < 0)
            break;
        QByteArray boundary = value.mid(parameter + 9);
        if (boundary.startsWith('"')) {
            boundary = boundary.mid(1);
            boundary.truncate(boundary.indexOf('"'));
        } else {
            const qsizetype end = boundary.indexOf(';');
            boundary = (end < 0 ? boundary : boundary.left(end)).trimmed();
        }
        content.boundary = boundary;
        break;
    }
    return content;
}

class MimeWalk {
public:
    MimeWalk(qint64 limit, qint64 maxParts) : limit_(limit), maxParts_(maxParts) {}

    // One piece of a line; lineStart tells whether it begins a line. Returns what is too much.
    QString take(const QByteArray& piece, bool lineStart)
    {
        // A boundary ends whatever comes before it, a part's header without its blank line too.
        if (lineStart && piece.startsWith("--") && boundaryLine(piece))
            return parts_ > maxParts_ ? u"more than %1 parts"_s.arg(maxParts_) : QString();
        if (mode_ == Mode::Header)
            return header(piece, lineStart);
        if (mode_ == Mode::Preamble || mode_ == Mode::Epilogue) {
            kept_ += piece.size();
            if (kept_ > limit_)
                return oversized(mode_ == Mode::Preamble ? u"preamble"_s : u"epilogue"_s);
        }
        return {};
    }

private:
    enum class Mode { Header, Preamble, Body, Epilogue };

    QString oversized(const QString& piece) const { return piece + u" over %1 bytes"_s.arg(limit_); }

    QString header(const QByteArray& piece, bool lineStart)
    {
        kept_ += piece.size();
        if (kept_ > limit_)
            return oversized(u"header"_s);
        if (!(lineStart && (piece == "\n" || piece == "\r\n"))) {
            block_ += piece;
            return {};
        }
        const ContentType content = contentTypeOf(block_);
        startPiece(Mode::Body);
        if (content.type.startsWith("multipart/") && !content.boundary.isEmpty()) {
            boundaries_.push_back("--" + content.boundary);
            startPiece(Mode::Preamble);
        } else if (content.type == "message/rfc822") {
            startPiece(Mode::Header);  // the embedded message's own header follows
        }
        return {};
    }

    // A boundary of an open multipart starts the next part or closes the multipart (and those
    // inside it); any other line is left to the mode.
    bool boundaryLine(const QByteArray& piece)
    {
        const QByteArray line = piece.trimmed();
        for (size_t open = boundaries_.size(); open-- > 0;) {
            const QByteArray& boundary = boundaries_[open];
            if (line == boundary + "--") {
                boundaries_.resize(open);
                startPiece(Mode::Epilogue);
                return true;
            }
            if (line == boundary) {
                boundaries_.resize(open + 1);
                startPiece(Mode::Header);
                ++parts_;
                return true;
            }
        }
        return false;
    }

    void startPiece(Mode mode)
    {
        mode_ = mode;
        kept_ = 0;
        block_.clear();
    }

    qint64 limit_;
    qint64 maxParts_;
    qint64 parts_ = 0;
    Mode mode_ = Mode::Header;
    qint64 kept_ = 0;
    QByteArray block_;                    // the header block read so far
    std::vector<QByteArray> boundaries_;  // "--" + boundary of each open multipart
};

}  // namespace

QString mimeMemoryProblem(const QString& messagePath, qint64 limitBytes, qint64 maxParts)
{
    QFile file(messagePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    MimeWalk walk(limitBytes, maxParts);
    bool lineStart = true;
    while (!file.atEnd()) {
        const QByteArray piece = file.readLine(kChunk);
        if (piece.isEmpty())
            break;
        if (const QString oversized = walk.take(piece, lineStart); !oversized.isEmpty())
            return oversized;
        lineStart = piece.endsWith('\n');
    }
    return {};
}

}  // namespace edi
