#include "gui/WindowMessages.h"

#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace edi {

QString messageCaption()
{
    return u"組立メーカEDI自動受信"_s;
}

WindowMessageSink::WindowMessageSink(const Clock& clock, QWidget* parent)
    : console_(u"SCHMON01"_s, clock)
    , parent_(parent)
{
}

void WindowMessageSink::showMessage(const QString& text, const QString& detail)
{
    console_.showMessage(text, detail);
    QMessageBox::information(parent_, messageCaption(), text, QMessageBox::Ok);
}

bool askYesNo(QWidget* parent, const QString& question)
{
    return QMessageBox::warning(parent, messageCaption(), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void warn(QWidget* parent, const QString& message)
{
    QMessageBox::warning(parent, messageCaption(), message, QMessageBox::Ok);
}

}  // namespace edi
