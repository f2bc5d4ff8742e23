#include "convert/localcii/ConversionLog.h"

#include "app/Clock.h"
#include "app/text/ShiftJis.h"
#include "app/text/TextHelpers.h"
#include "convert/localcii/ConversionCodes.h"
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
    using namespace ConversionCode;
    switch (code) {
    case NoFormat: return u"フォーマット情報マスタにありません"_s;
    case XmlNotWellFormed: return u"XML解析エラー"_s;
    case NoCiiLayout: return u"CIIのレイアウトがありません"_s;
    case NoLocalLayout: return u"ローカルのレイアウトがありません"_s;
    case Truncated: return u"CIIファイルがブロックの途中で終わっています"_s;
    case BadIdentifier: return u"ブロック識別子が正しくありません"_s;
    case BadLengthIndicator: return u"要素の長さが正しくありません"_s;
    case RepetitionOutsideGroup: return u"グループの外に繰返しの区切りがあります"_s;
    case GroupEndOutsideGroup: return u"グループの外にグループの終わりがあります"_s;
    case LengthMismatch: return u"メッセージの長さが違います"_s;
    case OutOfPlace: return u"意味のない位置に制御バイトがあります"_s;
    case ZeroLength: return u"長さ0の要素があります"_s;
    case UnsupportedPair: return u"変換できない項目属性の組合せです"_s;
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
