#include "web/WebUsers.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <crypt.h>
#include <cstring>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// The most remembered credentials; beyond it the memory starts anew.
constexpr qsizetype kMaxAccepted = 256;
constexpr qint64 kMaxFileBytes = 1 << 20;

std::map<QString, QByteArray> parseUsers(const QByteArray& text)
{
    std::map<QString, QByteArray> users;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype colon = trimmed.indexOf(':');
        if (trimmed.isEmpty() || trimmed.startsWith('#') || colon <= 0)
            continue;
        users.emplace(QString::fromUtf8(trimmed.left(colon)), trimmed.mid(colon + 1));
    }
    return users;
}

std::optional<std::pair<QString, QByteArray>> credentials(const QByteArray& authorization)
{
    if (!authorization.startsWith("Basic "))
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(authorization.mid(6).trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const qsizetype colon = decoded.decoded.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    return std::pair{QString::fromUtf8(decoded.decoded.left(colon)), decoded.decoded.mid(colon + 1)};
}

}  // namespace

WebUsers::WebUsers(QString path) : path_(std::move(path)) {}

bool WebUsers::load()
{
    hashes_.clear();
    accepted_.clear();
    QFile file(path_);
    const QFileInfo info(path_);
    loadedModified_ = info.lastModified();
    loadedSize_ = info.size();
    if (info.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        problem_ = u"利用者ファイル %1 を読めません"_s.arg(path_);
        return false;
    }
    hashes_ = parseUsers(file.readAll());
    problem_ = hashes_.empty() ? u"利用者ファイル %1 に利用者がいません (edi-auto web --add-user NAME)"_s.arg(path_) : QString();
    return problem_.isEmpty();
}

void WebUsers::reloadWhenChanged()
{
    const QFileInfo info(path_);
    if (info.lastModified() != loadedModified_ || info.size() != loadedSize_)
        load();
}

bool WebUsers::allows(const QByteArray& authorization)
{
    reloadWhenChanged();
    const QByteArray digest = QCryptographicHash::hash(authorization, QCryptographicHash::Sha256);
    if (accepted_.contains(digest))
        return true;
    const auto given = credentials(authorization);
    if (!given || given->first.size() > kMaxNameLength || given->second.size() > kMaxPasswordLength)
        return false;
    const auto user = hashes_.find(given->first);
    if (user == hashes_.end() || !passwordMatches(given->second, user->second))
        return false;
    if (accepted_.size() >= kMaxAccepted)
        accepted_.clear();
    accepted_.insert(digest);
    return true;
}

QString WebUsers::userNamed(const QByteArray& authorization)
{
    const auto given = credentials(authorization);
    return given ? given->first.left(kMaxNameLength) : QString();
}

bool WebUsers::validName(const QString& name)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9._-]{1,64}$"_s);
    return plain.match(name).hasMatch();
}

QByteArray WebUsers::hashPassword(const QByteArray& password)
{
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (!crypt_gensalt_rn("$y$", 0, nullptr, 0, salt, sizeof salt))
        return {};
    crypt_data data{};
    const char* hash = crypt_r(password.constData(), salt, &data);
    return hash && hash[0] != '*' ? QByteArray(hash) : QByteArray();
}

bool WebUsers::passwordMatches(const QByteArray& password, const QByteArray& hash)
{
    if (hash.isEmpty() || password.contains('\0'))
        return false;
    crypt_data data{};
    const char* computed = crypt_r(password.constData(), hash.constData(), &data);
    if (!computed || computed[0] == '*' || qsizetype(std::strlen(computed)) != hash.size())
        return false;
    // Compared in full whatever differs first: the time tells nothing of the hash.
    unsigned char difference = 0;
    for (qsizetype i = 0; i < hash.size(); ++i)
        difference |= static_cast<unsigned char>(computed[i] ^ hash[i]);
    return difference == 0;
}

bool WebUsers::addUser(const QString& path, const QString& name, const QByteArray& password, QString& problem)
{
    if (!validName(name)) {
        problem = u"利用者名は英数字と . _ - の 64 文字以内にしてください"_s;
        return false;
    }
    if (password.isEmpty() || password.size() > kMaxPasswordLength || password.contains('\0')) {
        problem = u"パスワードは 1 から %1 バイトにしてください"_s.arg(kMaxPasswordLength);
        return false;
    }
    const QByteArray hash = hashPassword(password);
    if (hash.isEmpty()) {
        problem = u"パスワードのハッシュを作れません"_s;
        return false;
    }
    QByteArray text;
    if (QFile existing(path); existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) {
            problem = u"利用者ファイル %1 を読めません"_s.arg(path);
            return false;
        }
        for (const QByteArray& line : existing.readAll().split('\n')) {
            if (!line.isEmpty() && !line.startsWith(name.toUtf8() + ':'))
                text += line + '\n';
        }
    }
    text += name.toUtf8() + ':' + hash + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(text) != text.size() || !file.commit()) {
        problem = u"利用者ファイル %1 に書けません: %2"_s.arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace edi
