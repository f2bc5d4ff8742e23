#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

namespace edi {

// A request as the site reads it, apart from the server that received it.
struct WebRequest {
    QByteArray method;         // "GET", "HEAD", ...
    QString path;              // decoded, without the query
    QUrlQuery query;
    QByteArray authorization;  // the Authorization header, empty when none
    QHostAddress remote;

    QString parameter(const QString& name) const { return query.queryItemValue(name, QUrl::FullyDecoded); }
};

// What the site answers; the server adds the headers every answer carries.
struct WebResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;  // besides Content-Type and the common ones
    QString problem;  // an error's message, which the API answers in JSON

    void addHeader(const QByteArray& name, const QByteArray& value) { headers.append(qMakePair(name, value)); }

    static WebResponse html(QByteArray body, int status = 200);
    static WebResponse json(QByteArray body, int status = 200);
    static WebResponse text(QByteArray body, QByteArray contentType, int status = 200);
    // A short page in words for an error status (404, 405, ...).
    static WebResponse error(int status, const QString& message);
    // The same error as the API answers it: {"error": message}.
    WebResponse asJson() const;
};

}  // namespace edi
