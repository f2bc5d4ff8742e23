#include "monitor/KeystrokeFilter.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace edi {
namespace {

// Types the text key by key into an empty field and returns what the field holds.
QString typeInto(const QString& attributeCode, const QString& keys)
{
    QString field;
    for (QChar key : keys) {
        if (const auto accepted = filterKeystroke(key, attributeCode, field))
            field.append(*accepted);
    }
    return field;
}

TEST(KeystrokeFilter, TextFieldsRefuseQuotesAndCommasAndFoldCase)
{
    EXPECT_EQ(typeInto(u"2"_s, u"a,b'c\"d"_s), u"abcd"_s);
    EXPECT_EQ(typeInto(u"2U"_s, u"ab,Cd"_s), u"ABCD"_s);
    EXPECT_EQ(typeInto(u"2L"_s, u"AbC"_s), u"abc"_s);
    EXPECT_EQ(typeInto(QString(), u"x,y"_s), u"xy"_s);
    EXPECT_EQ(typeInto(u"1"_s, u"a,'\""_s), u"a,'\""_s);
}

TEST(KeystrokeFilter, NumericClassesTakeTheirSeparatorsAndMinusAndPointOnlyOnce)
{
    EXPECT_EQ(typeInto(u"3"_s, u"1-2.3a"_s), u"123"_s);
    EXPECT_EQ(typeInto(u"4"_s, u"1-2-3"_s), u"1-23"_s);
    EXPECT_EQ(typeInto(u"7"_s, u"-1.2.3-"_s), u"-1.23"_s);
    EXPECT_EQ(typeInto(u"6"_s, u"1,2,3"_s), u"1,2,3"_s);
    EXPECT_EQ(typeInto(u"D"_s, u"2026/12/08 10:30"_s), u"2026/12/0810:30"_s);
    EXPECT_EQ(typeInto(u"C"_s, u"10:3/0"_s), u"10:30"_s);
    EXPECT_EQ(typeInto(u"Z"_s, u"any,thing"_s), u"any,thing"_s);
}

}  // namespace
}  // namespace edi
