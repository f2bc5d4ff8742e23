#include "transport/mail/ImapSession.h"

#include "transport/mail/CurlLibrary.h"
#include "transport/mail/MailError.h"

#include <curl/curl.h>
#include <optional>
#include <poll.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The longest response line read; a literal may be any length, it is streamed.
constexpr qsizetype kMaxLine = 1024 * 1024;
// What of a literal no sink takes is kept in its line up to this.
constexpr qsizetype kMaxKeptLiteral = 64 * 1024;
constexpr size_t kReceiveChunk = 64 * 1024;

CURL* handle(void* curl) { return static_cast<CURL*>(curl); }

long useSsl(ImapTls tls)
{
    switch (tls) {
    case ImapTls::Required: return CURLUSESSL_ALL;
    case ImapTls::None: return CURLUSESSL_NONE;
    case ImapTls::Try: break;
    }
    return CURLUSESSL_TRY;
}

// The error of a sign-on that failed, in the operator's words.
MailError signOnError(CURLcode code, const QString& detail, const ImapSession::Options& options)
{
    switch (code) {
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED:
        return {MailErrorNumber::SignOnRefused, u"ログオンできません: "_s + detail};
    case CURLE_USE_SSL_FAILED:
        return {MailErrorNumber::TlsFailed, u"サーバが TLS (STARTTLS) を提供しません ([MAPI] TLS=required): "_s + detail};
    case CURLE_PEER_FAILED_VERIFICATION:
        return {MailErrorNumber::TlsFailed,
                u"サーバの証明書を信頼できません。認証局の証明書 (PEM) を [MAPI] CAFILE に指定してください: "_s + detail};
    case CURLE_SSL_CACERT_BADFILE:
        return {MailErrorNumber::TlsFailed, u"[MAPI] CAFILE の証明書を読めません: "_s + options.caFile};
    case CURLE_SSL_CONNECT_ERROR:
        return {MailErrorNumber::TlsFailed, u"TLS で接続できません: "_s + detail};
    case CURLE_OPERATION_TIMEDOUT:
        return {MailErrorNumber::ServerUnreachable,
                u"メールサーバが %1 秒応答しません ([MAPI] TIMEOUT): "_s.arg(options.timeoutSeconds) + detail};
    default:
        return {MailErrorNumber::ServerUnreachable, u"メールサーバに接続できません: "_s + detail};
    }
}

// The size a line announces for the literal that follows it ("... {123}"), if it does.
std::optional<qint64> literalSize(const QByteArray& line)
{
    if (!line.endsWith('}'))
        return std::nullopt;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0)
        return std::nullopt;
    bool ok = false;
    const qint64 size = line.mid(open + 1, line.size() - open - 2).toLongLong(&ok);
    return ok && size >= 0 ? std::optional<qint64>(size) : std::nullopt;
}

}  // namespace

ImapSession::ImapSession(const Options& options)
    : timeoutSeconds_(options.timeoutSeconds)
{
    initialiseCurl();
    curl_ = curl_easy_init();
    if (!curl_)
        throw MailError(MailErrorNumber::ServerUnreachable, u"メールサーバに接続できません"_s);
    CURL* curl = handle(curl_);
    curl_easy_setopt(curl, CURLOPT_URL, options.serverUrl.constData());
    if (!options.user.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERNAME, options.user.constData());
    if (!options.password.isEmpty())
        curl_easy_setopt(curl, CURLOPT_PASSWORD, options.password.constData());
    // libcurl connects, sets up TLS and signs on; the session speaks for itself from there.
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
    curl_easy_setopt(curl, CURLOPT_USE_SSL, useSsl(options.tls));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(options.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(2 * options.timeoutSeconds));
    const QByteArray caFile = options.caFile.toLocal8Bit();
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (code != CURLE_OK) {
        const QString detail = QString::fromUtf8(message[0] ? message : curl_easy_strerror(code));
        curl_easy_cleanup(curl);
        curl_ = nullptr;
        throw signOnError(code, detail, options);
    }
    open_ = true;
}

ImapSession::~ImapSession()
{
    if (curl_)
        curl_easy_cleanup(handle(curl_));
}

void ImapSession::lost(const QString& why)
{
    open_ = false;
    throw MailError(MailErrorNumber::ServerUnreachable, u"メールサーバとの接続が切れました: "_s + why);
}

void ImapSession::send(const QByteArray& bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        size_t n = 0;
        const CURLcode code = curl_easy_send(handle(curl_), bytes.constData() + sent, size_t(bytes.size() - sent), &n);
        if (code == CURLE_AGAIN) {
            curl_socket_t socket = CURL_SOCKET_BAD;
            curl_easy_getinfo(handle(curl_), CURLINFO_ACTIVESOCKET, &socket);
            pollfd wait{socket, POLLOUT, 0};
            if (::poll(&wait, 1, timeoutSeconds_ * 1000) <= 0)
                lost(u"送信できません (%1 秒)"_s.arg(timeoutSeconds_));
            continue;
        }
        if (code != CURLE_OK)
            lost(QString::fromUtf8(curl_easy_strerror(code)));
        sent += qsizetype(n);
    }
}

void ImapSession::receiveMore()
{
    char buffer[kReceiveChunk];
    for (;;) {
        size_t n = 0;
        const CURLcode code = curl_easy_recv(handle(curl_), buffer, sizeof buffer, &n);
        if (code == CURLE_OK) {
            if (n == 0)
                lost(u"サーバが接続を閉じました"_s);
            pending_.append(buffer, qsizetype(n));
            return;
        }
        if (code != CURLE_AGAIN)
            lost(QString::fromUtf8(curl_easy_strerror(code)));
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(handle(curl_), CURLINFO_ACTIVESOCKET, &socket);
        pollfd wait{socket, POLLIN, 0};
        if (::poll(&wait, 1, timeoutSeconds_ * 1000) <= 0)
            lost(u"メールサーバが %1 秒応答しません ([MAPI] TIMEOUT)"_s.arg(timeoutSeconds_));
    }
}

QByteArray ImapSession::readLine()
{
    qsizetype end = 0;
    while ((end = pending_.indexOf("\r\n")) < 0) {
        if (pending_.size() > kMaxLine)
            lost(u"応答の行が長すぎます"_s);
        receiveMore();
    }
    QByteArray line = pending_.left(end);
    pending_.remove(0, end + 2);
    return line;
}

void ImapSession::readLiteral(qint64 size, const LiteralSink& sink, QByteArray* into)
{
    bool taking = bool(sink);
    while (size > 0) {
        if (pending_.isEmpty())
            receiveMore();
        const qsizetype piece = qsizetype(std::min<qint64>(size, pending_.size()));
        if (taking)
            taking = sink(pending_.constData(), piece);
        else if (into && into->size() < kMaxKeptLiteral)
            into->append(pending_.constData(), std::min(piece, kMaxKeptLiteral - into->size()));
        pending_.remove(0, piece);
        size -= piece;
    }
}

ImapSession::Response ImapSession::run(const QByteArray& command, const LiteralSink& sink)
{
    if (!open_)
        lost(u"セッションは終わっています"_s);
    const QByteArray tag = "E" + QByteArray::number(nextTag_++);
    send(tag + ' ' + command + "\r\n");
    Response response;
    for (;;) {
        QByteArray line = readLine();
        // A line ending in "{N}" (or "~{N}", a literal that may hold any byte) announces N bytes
        // of literal, after which the line goes on.
        while (const std::optional<qint64> size = literalSize(line)) {
            const bool forSink = sink && line.startsWith("* ") && (line.contains("BODY[") || line.contains("BINARY["));
            line.truncate(line.lastIndexOf('{'));
            readLiteral(*size, forSink ? sink : LiteralSink(), forSink ? nullptr : &line);
            line += readLine();
        }
        if (line.startsWith(tag + ' ')) {
            response.status = line.mid(tag.size() + 1);
            response.ok = response.status.startsWith("OK");
            return response;
        }
        if (line.startsWith("* BYE") && !command.startsWith("LOGOUT"))
            lost(QString::fromUtf8(line.mid(2)));
        if (line.startsWith("* ") && response.untagged.size() < 100000)
            response.untagged << line;
    }
}

void ImapSession::logout()
{
    if (!open_)
        return;
    try {
        run("LOGOUT");
    } catch (const MailError&) {
        // The server went first; the connection closes all the same.
    }
    open_ = false;
}

QByteArray imapMailboxName(const QString& name)
{
    QByteArray encoded;
    QByteArray wide;  // UTF-16 big-endian of a run of characters that are not printable ASCII
    auto flush = [&] {
        if (wide.isEmpty())
            return;
        QByteArray base64 = wide.toBase64(QByteArray::OmitTrailingEquals);
        base64.replace('/', ',');
        encoded += '&' + base64 + '-';
        wide.clear();
    };
    for (const QChar character : name) {
        const char16_t unit = character.unicode();
        if (unit >= 0x20 && unit <= 0x7e) {
            flush();
            encoded += unit == u'&' ? QByteArray("&-") : QByteArray(1, char(unit));
        } else {
            wide += char(unit >> 8);
            wide += char(unit & 0xff);
        }
    }
    flush();
    encoded.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + encoded + '"';
}

}  // namespace edi
