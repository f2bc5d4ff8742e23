#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <map>

namespace edi {

// The readers who may log in to the web monitor: a file of "NAME:HASH" lines, HASH a salted
// password hash as crypt(3) writes it (yescrypt). The file is read again when it changed.
class WebUsers {
public:
    // The longest name and password taken.
    static constexpr qsizetype kMaxNameLength = 64;
    static constexpr qsizetype kMaxPasswordLength = 256;

    explicit WebUsers(QString path);

    // Reads the file; false with problem() set when it cannot be read or holds no user.
    bool load();
    const QString& problem() const { return problem_; }
    qsizetype count() const { return hashes_.size(); }

    // Whether an Authorization header ("Basic " and base64 of NAME:PASSWORD) names a user with
    // that password. Checked credentials are remembered (by digest) until the file changes, as a
    // hash takes tens of milliseconds by design.
    bool allows(const QByteArray& authorization);
    // The user name an Authorization header gives, for the log; empty when it gives none.
    static QString userNamed(const QByteArray& authorization);

    // Adds NAME with PASSWORD, or gives it the new password, writing the file readable by its
    // owner only. False with the reason in `problem` when NAME is not a plain name or the file
    // cannot be written.
    static bool addUser(const QString& path, const QString& name, const QByteArray& password, QString& problem);
    // A salted hash of the password, as the file keeps it; empty when libcrypt fails.
    static QByteArray hashPassword(const QByteArray& password);
    static bool passwordMatches(const QByteArray& password, const QByteArray& hash);
    static bool validName(const QString& name);

private:
    void reloadWhenChanged();

    QString path_;
    QDateTime loadedModified_;
    qint64 loadedSize_ = -1;
    std::map<QString, QByteArray> hashes_;
    QSet<QByteArray> accepted_;  // digests of Authorization headers found right
    QString problem_;
};

}  // namespace edi
