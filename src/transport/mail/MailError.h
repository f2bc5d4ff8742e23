#pragma once

#include <QString>
#include <exception>

namespace edi {

// The error numbers of the mail reception. The operator sees "Error <number>: <description>";
// 1xx are errors of the sign-on, 2xx of the reception.
enum class MailErrorNumber : int {
    NoStore = 101,            // [MAPI] Store is empty
    StoreMissing = 102,       // the Maildir folder is missing or lacks cur/, new/ or tmp/
    ServerUnreachable = 103,  // the IMAP server cannot be reached: name, connection, TLS, time-out
    SignOnRefused = 104,      // the server refused the user or the password
    FolderMissing = 105,      // the server has no folder of the name the store gives
    TlsFailed = 106,          // TLS could not be set up: none offered where required, a certificate not trusted
    SettingInvalid = 107,     // a [MAPI] key holds a value the reception cannot use
    SearchFailed = 201,       // the unread messages cannot be listed
    MessageUnreadable = 202,  // a message cannot be read or fetched
    MessageBroken = 203,      // a message to the partner is broken; a header that is too long or does not
                              // parse only makes its message pass over
    NoAttachment = 204,       // a message to the partner address has no attachment of the centre's data form
    StoreFailed = 205,        // the attachment cannot be written into the received-files folder
    MarkFailed = 206,         // the stored message cannot be marked read
    GiveBackFailed = 207,     // a claimed message cannot be given back or marked as rejected
    BinaryUnavailable = 208,  // the data attachment was sent without transfer encoding (8bit, binary) and
                              // the server cannot send it unchanged (it offers no BINARY)
    Unexpected = 901,         // anything else that went wrong inside the reception
};

// An error of the sign-on, the reception or the sign-off. It never leaves the mail transport,
// which turns it into the operator's message and the result code "9999".
class MailError : public std::exception {
public:
    MailError(MailErrorNumber number, QString description) : number_(number), description_(std::move(description)) {}

    MailErrorNumber number() const { return number_; }
    const QString& description() const { return description_; }
    QString message() const
    {
        return QStringLiteral("Error ") + QString::number(int(number_)) + QStringLiteral(": ") + description_;
    }
    const char* what() const noexcept override { return "mail reception error"; }

private:
    MailErrorNumber number_;
    QString description_;
};

}  // namespace edi
