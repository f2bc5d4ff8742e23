#pragma once

#include <QString>
#include <QStringList>

namespace edi {

// The errors found in master files, each one Japanese line that names the file, the line of the
// record, the column and the value. All are counted; the first kKept are kept to be shown.
class MasterErrors {
public:
    static constexpr int kKept = 100;

    // line 0: the file as a whole.
    void add(const QString& fileName, int line, const QString& what);
    void add(const QString& fileName, int line, const QString& column, const QString& value, const QString& what);

    int count() const { return count_; }
    bool empty() const { return count_ == 0; }
    const QStringList& lines() const { return lines_; }

private:
    void keep(const QString& line);

    QStringList lines_;
    int count_ = 0;
};

}  // namespace edi
