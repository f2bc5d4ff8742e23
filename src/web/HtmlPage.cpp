#include "web/HtmlPage.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString htmlEscaped(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'<': escaped += u"&lt;"_s; break;
        case u'>': escaped += u"&gt;"_s; break;
        case u'&': escaped += u"&amp;"_s; break;
        case u'"': escaped += u"&quot;"_s; break;
        case u'\'': escaped += u"&#39;"_s; break;
        default: escaped += c;
        }
    }
    return escaped;
}

namespace {

QString attribute(const char16_t* name, const QString& value)
{
    return value.isEmpty() ? QString() : u" %1=\"%2\""_s.arg(QString::fromUtf16(name), htmlEscaped(value));
}

}  // namespace

HtmlPage::HtmlPage(const QString& title, bool refreshing)
{
    html_ += u"<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">"
             u"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"_s;
    html_ += u"<title>"_s + htmlEscaped(title) + u" - EDI自動受信</title>"_s;
    html_ += u"<link rel=\"stylesheet\" href=\"/style.css\">"_s;
    if (refreshing)
        html_ += u"<script src=\"/refresh.js\" defer></script>"_s;
    html_ += u"</head>\n<body><nav><span class=\"product\">組立メーカEDI自動受信</span>"
             u" <a href=\"/\">概要</a> <a href=\"/history\">履歴</a></nav>\n<main>"_s;
    heading(title, 1);
}

void HtmlPage::heading(const QString& text, int level)
{
    html_ += u"<h%1>%2</h%1>\n"_s.arg(level).arg(htmlEscaped(text));
}

void HtmlPage::paragraph(const QString& text, const QString& cssClass)
{
    html_ += u"<p"_s + attribute(u"class", cssClass) + u'>' + htmlEscaped(text) + u"</p>\n"_s;
}

void HtmlPage::links(const std::vector<HtmlCell>& links)
{
    html_ += u"<p class=\"links\">"_s;
    for (const HtmlCell& link : links) {
        cell(link, nullptr);
        html_ += u' ';
    }
    html_ += u"</p>\n"_s;
}

void HtmlPage::beginTable(const QStringList& titles, const QString& cssClass)
{
    html_ += u"<table"_s + attribute(u"class", cssClass) + u"><thead><tr>"_s;
    for (const QString& title : titles)
        html_ += u"<th>"_s + htmlEscaped(title) + u"</th>"_s;
    html_ += u"</tr></thead><tbody>\n"_s;
}

void HtmlPage::row(const std::vector<HtmlCell>& cells, const QString& cssClass, const QString& title)
{
    html_ += u"<tr"_s + attribute(u"class", cssClass) + attribute(u"title", title) + u'>';
    for (const HtmlCell& each : cells)
        cell(each, "td");
    html_ += u"</tr>\n"_s;
}

void HtmlPage::endTable()
{
    html_ += u"</tbody></table>\n"_s;
}

void HtmlPage::getForm(const QString& action, const std::vector<Field>& fields, const QString& button)
{
    html_ += u"<form method=\"get\""_s + attribute(u"action", action) + u'>';
    for (const Field& field : fields) {
        html_ += u"<label>"_s + htmlEscaped(field.label) + u" <input"_s + attribute(u"type", field.type)
            + attribute(u"name", field.name);
        if (field.type == u"checkbox"_s)  // ticked when it has a value
            html_ += field.value.isEmpty() ? u" value=\"1\""_s : u" value=\"1\" checked"_s;
        else
            html_ += attribute(u"value", field.value);
        html_ += u"></label> "_s;
    }
    html_ += u"<button type=\"submit\">"_s + htmlEscaped(button) + u"</button></form>\n"_s;
}

void HtmlPage::values(const std::vector<std::pair<QString, HtmlCell>>& items)
{
    html_ += u"<dl>"_s;
    for (const auto& [name, value] : items) {
        html_ += u"<dt>"_s + htmlEscaped(name) + u"</dt>"_s;
        cell(value, "dd");
    }
    html_ += u"</dl>\n"_s;
}

void HtmlPage::cell(const HtmlCell& cell, const char* tag)
{
    QString cssClass = cell.cssClass;
    if (cell.number)
        cssClass += cssClass.isEmpty() ? u"number"_s : u" number"_s;
    const QString name = tag ? QString::fromLatin1(tag) : QString();
    if (tag)
        html_ += u'<' + name + attribute(u"class", cssClass) + attribute(u"title", cell.title) + u'>';
    if (!cell.link.isEmpty())
        html_ += u"<a"_s + attribute(u"href", cell.link) + (tag ? QString() : attribute(u"class", cssClass)) + u'>'
            + htmlEscaped(cell.text) + u"</a>"_s;
    else
        html_ += htmlEscaped(cell.text);
    if (tag)
        html_ += u"</"_s + name + u'>';
}

QByteArray HtmlPage::finish()
{
    html_ += u"</main></body></html>\n"_s;
    return html_.toUtf8();
}

}  // namespace edi
