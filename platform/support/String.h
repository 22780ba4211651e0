#pragma once

#include "platform/support/SupportDefs.h"

#include <string>

// A text value with the searches the program needs.
class BString {
public:
    BString() = default;
    BString(const char* text) : fText(text ? text : "") {}

    const char* String() const { return fText.c_str(); }
    int32 Length() const { return int32(fText.size()); }

    // Index of the first occurrence of `text`, or -1 (B_ERROR) when absent.
    int32 FindFirst(const char* text) const;
    // As FindFirst, ignoring the case of ASCII letters.
    int32 IFindFirst(const char* text) const;

private:
    std::string fText;
};
