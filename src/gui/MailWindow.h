#pragma once

#include "transport/MailProgress.h"

#include <QWidget>

class QListWidget;

namespace edi {

// The mail window "メール送受信" (MAILTX01): "メール送受信中・・・" over the list of progress
// lines, shown while a mail job runs. The mail transport reports on the job's thread; each call
// is handed over to the window's thread.
//
// An error is shown in a message box that does not hold the job up: the job records its failure
// and the receptions after it run on time while the box waits for the operator.
class MailWindow final : public QWidget, public MailProgress {
    Q_OBJECT
public:
    explicit MailWindow(QWidget* parent = nullptr);

    void started() override;
    void line(const QString& text) override;
    void error(const QString& message) override;
    void finished() override;

    QListWidget* progressList() const { return list_; }

private:
    QListWidget* list_ = nullptr;
};

}  // namespace edi
