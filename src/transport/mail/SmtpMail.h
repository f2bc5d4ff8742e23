#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace edi {

// Where a short mail goes out: an SMTP server's URL (smtp://host:port, STARTTLS when it offers
// it; smtps://host:port, TLS from the start), its sign-on, the sender and how long it may take.
struct SmtpServer {
    QString url;
    QString user;
    QString password;
    QString from;
    int timeoutSeconds = 60;
};

// A plain-text mail in UTF-8 (subject and body may be Japanese) to each address. Empty on
// success, otherwise why it was not sent.
QString sendSmtpMail(const SmtpServer& server, const QStringList& to, const QString& subject, const QString& body);

// The mail as it goes over the wire: headers with the subject as an encoded word, the body in
// base64 lines, CR LF throughout.
QByteArray composeMail(const QString& from, const QStringList& to, const QString& subject, const QString& body,
                       const QDateTime& date);

}  // namespace edi
