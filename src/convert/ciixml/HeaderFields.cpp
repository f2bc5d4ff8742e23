#include "convert/ciixml/HeaderFields.h"

#include <array>

namespace edi {
namespace {

constexpr std::array<HeaderField, 25> kFields = {{
    {u"JPC03", 1, 1},    {u"JPC04", 2, 12},   {u"JPC05", 14, 12},  {u"JPC06", 26, 12},  {u"JPC07", 38, 12},
    {u"JPC08", 50, 12},  {u"JPC09", 62, 12},  {u"JPC10", 74, 4},   {u"JPC11", 78, 2},   {u"JPC12", 80, 2},
    {u"JPC14", 94, 4},   {u"JPC17", 104, 2},  {u"JPC18", 106, 10}, {u"JPC19", 116, 12}, {u"JPC21", 140, 6},
    {u"JPC23", 147, 1},  {u"JPC24", 148, 1},  {u"JPC25", 149, 1},  {u"JPC29", 161, 1},  {u"JPC30", 162, 3},
    {u"JPC31", 165, 3},  {u"JPC32", 168, 3},  {u"JPC33", 171, 3},  {u"JPC34", 174, 3},  {u"JPC35", 177, 3},
}};

}  // namespace

std::span<const HeaderField> xmlHeaderFields()
{
    return kFields;
}

const HeaderField* findXmlHeaderField(QStringView element)
{
    for (const HeaderField& field : kFields) {
        if (element == QStringView(field.element))
            return &field;
    }
    return nullptr;
}

}  // namespace edi
