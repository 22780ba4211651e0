#include "platform/support/String.h"

#include <algorithm>
#include <cctype>
#include <cstring>

int32 BString::FindFirst(const char* text) const
{
    if (text == nullptr)
        return B_BAD_VALUE;
    const auto at = fText.find(text);
    return at == std::string::npos ? B_ERROR : int32(at);
}

int32 BString::IFindFirst(const char* text) const
{
    if (text == nullptr)
        return B_BAD_VALUE;
    const auto sameLetter = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    };
    const char* end = text + std::strlen(text);
    const auto at = std::search(fText.begin(), fText.end(), text, end, sameLetter);
    return at == fText.end() && text != end ? B_ERROR : int32(at - fText.begin());
}
