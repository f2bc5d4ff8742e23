#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace edi {

// Text made safe for HTML, in an element or a double- or single-quoted attribute: centre names,
// notes and file names come from partners.
QString htmlEscaped(const QString& text);

// One cell of a table: its text, and optionally a link, a tool tip and a class for its colour.
struct HtmlCell {
    HtmlCell(QString text = {}, QString link = {}, QString title = {}, QString cssClass = {}, bool number = false)
        : text(std::move(text)), link(std::move(link)), title(std::move(title)), cssClass(std::move(cssClass)),
          number(number)
    {
    }

    QString text;
    QString link;
    QString title;
    QString cssClass;
    bool number;  // aligned right
};

// A page of the monitor in the browser: the common head (stylesheet, refresh script, the
// navigation), then the body's parts in the order they are added. Every text is escaped here,
// so no part of a page is written without it.
class HtmlPage {
public:
    explicit HtmlPage(const QString& title, bool refreshing = false);

    void heading(const QString& text, int level = 2);
    void paragraph(const QString& text, const QString& cssClass = {});
    // A line of links, for paging and filters.
    void links(const std::vector<HtmlCell>& links);
    void beginTable(const QStringList& titles, const QString& cssClass = {});
    void row(const std::vector<HtmlCell>& cells, const QString& cssClass = {}, const QString& title = {});
    void endTable();
    // A form that reads the page again with its fields as the query (GET).
    struct Field {
        QString name;
        QString label;
        QString value;
        QString type = QStringLiteral("text");
    };
    void getForm(const QString& action, const std::vector<Field>& fields, const QString& button);
    // A definition list of one item's values.
    void values(const std::vector<std::pair<QString, HtmlCell>>& items);

    QByteArray finish();

private:
    void cell(const HtmlCell& cell, const char* tag);

    QString html_;
};

}  // namespace edi
