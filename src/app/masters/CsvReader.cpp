#include "app/masters/CsvReader.h"

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

class CsvParser {
public:
    explicit CsvParser(QStringView text) : text_(text) {}

    CsvText parse()
    {
        while (result_.ok() && pos_ < text_.size()) {
            if (atLineEnd()) {
                skipLineEnd();  // an empty line
                continue;
            }
            readRecord();
        }
        return std::move(result_);
    }

private:
    bool atLineEnd() const { return text_[pos_] == u'\r' || text_[pos_] == u'\n'; }

    // CR LF, LF or CR: one line.
    void skipLineEnd()
    {
        if (text_[pos_] == u'\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\n')
            ++pos_;
        ++pos_;
        ++line_;
    }

    void readRecord()
    {
        CsvRecord record{line_, {}};
        for (;;) {
            CsvField field = text_[pos_] == u'"' ? readQuoted() : readPlain();
            if (!result_.ok())
                return;
            record.fields.push_back(std::move(field));
            if (pos_ >= text_.size())
                break;
            if (atLineEnd()) {
                skipLineEnd();
                break;
            }
            ++pos_;  // the comma; a record that ends in one has an empty last field
            if (pos_ >= text_.size() || atLineEnd()) {
                record.fields.push_back({});
                if (pos_ < text_.size())
                    skipLineEnd();
                break;
            }
        }
        result_.records.push_back(std::move(record));
    }

    CsvField readPlain()
    {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && text_[pos_] != u',' && !atLineEnd()) {
            if (text_[pos_] == u'"') {
                fail(line_, u"引用符 (\") で始まらない値の中に引用符があります"_s);
                return {};
            }
            ++pos_;
        }
        return {text_.mid(start, pos_ - start).toString(), false};
    }

    CsvField readQuoted()
    {
        const int startLine = line_;
        CsvField field{{}, true};
        ++pos_;
        for (;;) {
            if (pos_ >= text_.size()) {
                fail(startLine, u"引用符 (\") が閉じていません"_s);
                return {};
            }
            const QChar c = text_[pos_++];
            if (c == u'"') {
                if (pos_ < text_.size() && text_[pos_] == u'"') {
                    field.text += u'"';
                    ++pos_;
                    continue;
                }
                break;
            }
            // A line break inside the quotes is part of the value, as it is written.
            if (c == u'\n' || (c == u'\r' && (pos_ >= text_.size() || text_[pos_] != u'\n')))
                ++line_;
            field.text += c;
        }
        if (pos_ < text_.size() && text_[pos_] != u',' && !atLineEnd())
            fail(line_, u"閉じた引用符 (\") の後に区切りの \",\" がありません"_s);
        return field;
    }

    void fail(int line, const QString& error)
    {
        result_.errorLine = line;
        result_.error = error;
    }

    QStringView text_;
    qsizetype pos_ = 0;
    int line_ = 1;
    CsvText result_;
};

}  // namespace

CsvText parseCsv(QStringView text)
{
    return CsvParser(text).parse();
}

}  // namespace edi
