#include "transport/mail/SmtpMail.h"

#include "transport/mail/CurlLibrary.h"

#include <QDateTime>
#include <curl/curl.h>
#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// What libcurl reads the message from.
struct Upload {
    QByteArray data;
    qsizetype sent = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* upload = static_cast<Upload*>(user);
    const size_t room = size * count;
    const size_t left = size_t(upload->data.size() - upload->sent);
    const size_t taken = std::min(room, left);
    std::memcpy(buffer, upload->data.constData() + upload->sent, taken);
    upload->sent += qsizetype(taken);
    return taken;
}

QByteArray encodedWord(const QString& text)
{
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}

// An address as the envelope wants it: "<name@host>".
QByteArray envelopeAddress(const QString& address)
{
    const QString trimmed = address.trimmed();
    return (trimmed.startsWith(u'<') ? trimmed : u'<' + trimmed + u'>').toUtf8();
}

}  // namespace

QByteArray composeMail(const QString& from, const QStringList& to, const QString& subject, const QString& body,
                       const QDateTime& date)
{
    QByteArray mail;
    mail += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    mail += "From: " + from.toUtf8() + "\r\n";
    mail += "To: " + to.join(u", "_s).toUtf8() + "\r\n";
    mail += "Subject: " + encodedWord(subject) + "\r\n";
    mail += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    const QByteArray encoded = body.toUtf8().toBase64();
    for (qsizetype start = 0; start < encoded.size(); start += 76)
        mail += encoded.mid(start, 76) + "\r\n";
    return mail;
}

QString sendSmtpMail(const SmtpServer& server, const QStringList& to, const QString& subject, const QString& body)
{
    initialiseCurl();
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl)
        return u"メールを送れません"_s;
    Upload upload{composeMail(server.from, to, subject, body, QDateTime::currentDateTime()), 0};
    const QByteArray url = server.url.toUtf8();
    const QByteArray user = server.user.toUtf8();
    const QByteArray password = server.password.toUtf8();
    const QByteArray from = envelopeAddress(server.from);
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> recipients(nullptr, &curl_slist_free_all);
    std::vector<QByteArray> addresses;
    for (const QString& address : to)
        addresses.push_back(envelopeAddress(address));
    for (const QByteArray& address : addresses)
        recipients.reset(curl_slist_append(recipients.release(), address.constData()));

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
    if (!user.isEmpty())
        curl_easy_setopt(handle, CURLOPT_USERNAME, user.constData());
    if (!password.isEmpty())
        curl_easy_setopt(handle, CURLOPT_PASSWORD, password.constData());
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(handle, CURLOPT_READDATA, &upload);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, long(server.timeoutSeconds));
    char message[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message);
    const CURLcode code = curl_easy_perform(handle);
    if (code == CURLE_OK)
        return {};
    return u"メールを送れません (%1): "_s.arg(server.url) + QString::fromUtf8(message[0] ? message : curl_easy_strerror(code));
}

}  // namespace edi
