#include "gui/MailWindow.h"

#include "gui/WindowMessages.h"

#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace edi {

MailWindow::MailWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool)
{
    setObjectName(u"MAILTX01"_s);
    setWindowTitle(u"メール送受信"_s);
    auto* label = new QLabel(u"メール送受信中・・・"_s, this);
    label->setObjectName(u"lbl_MSG"_s);
    list_ = new QListWidget(this);
    list_->setObjectName(u"LST_PROGRESS"_s);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_);
    resize(320, 220);
}

void MailWindow::started()
{
    QMetaObject::invokeMethod(this, [this] {
        list_->clear();
        show();
        raise();
    });
}

void MailWindow::line(const QString& text)
{
    QMetaObject::invokeMethod(this, [this, text] { list_->addItem(text); });
}

void MailWindow::error(const QString& message)
{
    QMetaObject::invokeMethod(this, [this, message] {
        auto* box = new QMessageBox(QMessageBox::Warning, messageCaption(), message, QMessageBox::Ok, parentWidget());
        box->setObjectName(u"MAIL_ERROR"_s);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
}

void MailWindow::finished()
{
    QMetaObject::invokeMethod(this, [this] { hide(); });
}

}  // namespace edi
