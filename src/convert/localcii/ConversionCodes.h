#pragma once

// The codes the converters write to their log. An error ends the run and becomes its result
// code (four digits); a warning is logged and the run goes on.
namespace edi::ConversionCode {

enum : int {
    NoFormat = 1,                 // error: no format master row for the group's class and BPID, or no group header
    XmlNotWellFormed = 2,         // error: an XML document that cannot be converted
    NoCiiLayout = 3,              // error: no CII layout ("E") for the class and BPID
    NoLocalLayout = 4,            // error: no local layout ("L"), or one that cannot be placed
    Truncated = 7,                // error: the CII file ends inside a block
    BadIdentifier = 8,            // warning: two bytes that are no block identifier
    BadLengthIndicator = 9,       // warning: an element length that is none
    RepetitionOutsideGroup = 10,  // warning: X'FB' with no group open
    GroupEndOutsideGroup = 11,    // warning: X'FC' with no group open
    LengthMismatch = 12,          // warning: the end byte is not where the message's length says
    OutOfPlace = 13,              // warning: a control byte without meaning here, or a surplus occurrence
    ZeroLength = 15,              // error: an element of length 0
    UnsupportedPair = 21,         // warning: an item whose CII and local attributes do not pair
};

inline constexpr int errors[] = {NoFormat, XmlNotWellFormed, NoCiiLayout, NoLocalLayout, Truncated, ZeroLength};
inline constexpr int warnings[] = {BadIdentifier,        BadLengthIndicator, RepetitionOutsideGroup,
                                   GroupEndOutsideGroup, LengthMismatch,     OutOfPlace,
                                   UnsupportedPair};

}  // namespace edi::ConversionCode
