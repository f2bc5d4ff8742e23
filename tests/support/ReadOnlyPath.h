#pragma once

#include <QFileDevice>
#include <QString>

namespace edi::test {

// A file or folder this process cannot write while the object lives. For root, whom access()
// lets write any file and folder, it is bind-mounted read-only onto itself; for another user its
// write permissions are taken away. When neither works, available() is false and why() says
// why: the test then skips.
class ReadOnlyPath {
public:
    explicit ReadOnlyPath(QString path);
    ~ReadOnlyPath();
    ReadOnlyPath(const ReadOnlyPath&) = delete;
    ReadOnlyPath& operator=(const ReadOnlyPath&) = delete;

    bool available() const { return how_ != How::None; }
    const QString& why() const { return why_; }

private:
    enum class How { None, Mounted, Permissions };

    QString path_;
    How how_ = How::None;
    QFileDevice::Permissions permissions_;
    QString why_;
};

}  // namespace edi::test
