#include "platform/support/String.h"

#include <gtest/gtest.h>

TEST(StringSearch, FindsCaseSensitivelyOrNot)
{
    const BString link("MAILTO:someone@example.org and http://example.org");
    EXPECT_EQ(link.FindFirst("mailto:"), B_ERROR);
    EXPECT_EQ(link.IFindFirst("mailto:"), 0);
    EXPECT_EQ(link.IFindFirst("HTTP:"), 31);
    EXPECT_EQ(link.IFindFirst("ftp:"), B_ERROR);
}

TEST(StringSearch, EmptyAndNullNeedles)
{
    const BString text("abc");
    EXPECT_EQ(text.IFindFirst(""), 0);
    EXPECT_LT(text.IFindFirst(nullptr), 0);
    EXPECT_EQ(BString(nullptr).Length(), 0);
    EXPECT_EQ(BString().IFindFirst("a"), B_ERROR);
}
