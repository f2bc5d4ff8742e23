#include "web/HttpExchange.h"

#include "web/HtmlPage.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace edi {

WebResponse WebResponse::html(QByteArray body, int status)
{
    return {status, "text/html; charset=utf-8", std::move(body), {}};
}

WebResponse WebResponse::json(QByteArray body, int status)
{
    return {status, "application/json", std::move(body), {}};
}

WebResponse WebResponse::text(QByteArray body, QByteArray contentType, int status)
{
    return {status, std::move(contentType), std::move(body), {}};
}

WebResponse WebResponse::error(int status, const QString& message)
{
    HtmlPage page(u"エラー %1"_s.arg(status));
    page.paragraph(message);
    WebResponse response = html(page.finish(), status);
    response.problem = message;
    return response;
}

WebResponse WebResponse::asJson() const
{
    WebResponse response = *this;
    response.contentType = "application/json";
    response.body = QJsonDocument(QJsonObject{{u"error"_s, problem}}).toJson(QJsonDocument::Compact);
    return response;
}

}  // namespace edi
