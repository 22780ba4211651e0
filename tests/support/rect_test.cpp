#include "platform/support/Rect.h"

#include <gtest/gtest.h>

TEST(Rect, OffsetMovesBothEdges)
{
    BRect frame(10, 10, 190, 40);
    frame.OffsetBy(0, 30);
    EXPECT_EQ(frame, BRect(10, 40, 190, 70));
    EXPECT_EQ(frame.OffsetByCopy(90, 0), BRect(100, 40, 280, 70));
    EXPECT_EQ(frame, BRect(10, 40, 190, 70));
}

TEST(Rect, InclusiveEdges)
{
    const BRect pixel(5, 5, 5, 5);
    EXPECT_TRUE(pixel.IsValid());
    EXPECT_EQ(pixel.Width(), 0);
    EXPECT_TRUE(pixel.Contains(BPoint(5, 5)));
    EXPECT_FALSE(BRect().IsValid());
}
