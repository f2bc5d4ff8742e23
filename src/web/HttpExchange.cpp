#include "web/HttpExchange.h"

#include "web/HtmlPage.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace edi {

WebResponse WebResponse::html(QByteArray body, int status)
{
    return text(std::move(body), "text/html; charset=utf-8", status);
}

WebResponse WebResponse::json(QByteArray body, int status)
{
    return text(std::move(body), "application/json", status);
}

WebResponse WebResponse::text(QByteArray body, QByteArray contentType, int status)
{
    WebResponse response;
    response.status = status;
    response.contentType = std::move(contentType);
    response.body = std::move(body);
    return response;
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
