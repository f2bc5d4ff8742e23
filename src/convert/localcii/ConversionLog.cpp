#include "convert/localcii/ConversionLog.h"

#include "app/Clock.h"
#include "app/text/ShiftJis.h"
#include "app/text/TextHelpers.h"
#include "convert/localcii/ConversionError.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace edi {

ConversionLog::ConversionLog(QString path)
    : path_(std::move(path))
{
}

ConversionLog::~ConversionLog()
{
    endRun();
}

void ConversionLog::beginRun()
{
    errorText_.clear();
    resultCode_.clear();
    warningCounts_.clear();
}

void ConversionLog::endRun()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void ConversionLog::error(int code, const QString& text)
{
    if (code != 0) {
        resultCode_ = u"%1"_s.arg(code, 4, 10, QChar(u'0'));
        errorText_ = text.isEmpty() ? conversionCodeText(code) : text;
    }
    write(code, text);
}

QString conversionCodeText(int code)
{
    switch (code) {
    case 1: return u"フォーマット情報マスタにありません"_s;
    case 2: return u"XML解析エラー"_s;
    case 3: return u"CIIのレイアウトがありません"_s;
    case 4: return u"ローカルのレイアウトがありません"_s;
    case 7: return u"CIIファイルがブロックの途中で終わっています"_s;
    case 15: return u"長さ0の要素があります"_s;
    default: return u"変換エラー"_s;
    }
}

QString missingHeaderText()
{
    return u"メッセージグループヘッダがありません"_s;
}

void ConversionLog::warning(int code, const QString& text)
{
    const int count = ++warningCounts_[code];
    if (count <= kWarningLimit)
        write(code, text);
    else if (count == kWarningLimit + 1)
        write(code, text + u"以降省略"_s);
}

void ConversionLog::write(int code, const QString& text)
{
    if (!file_) {
        file_ = std::fopen(QFile::encodeName(path_).constData(), "ab");
        if (!file_)
            throw ConversionIoError(u"Cannot write the conversion log "_s + path_);
    }
    QByteArray line = u"%1"_s.arg(code, 4, 10, QChar(u'0')).toLatin1();
    threadShiftJis().encodeInto(text, line);
    line += "\r\n";
    if (std::fwrite(line.constData(), 1, size_t(line.size()), file_) != size_t(line.size()) || std::fflush(file_) != 0)
        throw ConversionIoError(u"Cannot write the conversion log "_s + path_);
}

QString localStartLine(qint64 serial, const Clock& clock)
{
    return u"--LOCCIIC start--"_s + serialText(serial) + u"  "_s
         + clock.now().toString(u"yyyy/MM/dd H:mm:ss"_s);
}

QString ciiXmlStartLine(qint64 serial)
{
    return u"--CIIXMLC start--"_s + serialText(serial);
}

}  // namespace edi
