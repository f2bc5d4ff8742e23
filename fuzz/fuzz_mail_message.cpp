// The mail reception's reading of a message on arbitrary bytes: the header fields that pick the
// partner's mail, the walk that measures what the MIME parser would keep in memory, and the
// parser with the decoding of the attachments into a file until one is of the data form (CII for
// inputs of even length, XML for odd).
//
// The input is the message file. Besides the sanitizers' findings, the run fails when a message
// whose attachment was not saved wrote to the attachment's file.

#include "FuzzSupport.h"

#include "transport/mail/MailStore.h"
#include "transport/mail/MimeAttachment.h"

#include <QFile>
#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const edi::fuzz::ScratchRun run("MESSAGE.eml", data, size);
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    edi::readHeaderFields(bytes.left(qsizetype(edi::kMaxHeaderBytes)));

    const QString attachment = QString::fromStdString(run.outputs + "/ATTACHMENT");
    QFile target(attachment);
    if (!target.open(QIODevice::ReadWrite))
        __builtin_trap();
    const edi::DataForm form = size % 2 == 0 ? edi::DataForm::Cii : edi::DataForm::Xml;
    const edi::SavedAttachment saved = edi::saveDataAttachment(QString::fromStdString(run.input), form, {}, target);
    target.close();
    const qint64 written = QFileInfo(attachment).size();
    if (saved.outcome != edi::AttachmentOutcome::Saved && written != 0)
        __builtin_trap();
    return 0;
}
