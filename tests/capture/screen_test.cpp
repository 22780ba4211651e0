// BScreen over the in-memory screen: the frame, the B_RGB32 layout of what
// is read, and the black that a failed read leaves.

#include "platform/input/HeadlessInput.h"
#include "platform/interface/Screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

uint32 WordAt(const BBitmap& bitmap, int32 x, int32 y)
{
    uint32 word = 0;
    std::memcpy(&word, static_cast<const uint8*>(bitmap.Bits()) + y * bitmap.BytesPerRow() + x * 4, 4);
    return word;
}

class ScreenTest : public ::testing::Test {
protected:
    void SetUp() override { fInput.Install(); }

    HeadlessInput fInput { 320, 200 };
};

TEST_F(ScreenTest, FrameIsTheWholeScreenInclusive)
{
    BScreen screen(B_MAIN_SCREEN_ID);
    EXPECT_TRUE(screen.IsValid());
    EXPECT_EQ(screen.Frame(), BRect(0, 0, 319, 199));
    EXPECT_EQ(screen.ColorSpace(), B_RGB32);
    fInput.Resize(1280, 1024);
    EXPECT_EQ(screen.Frame(), BRect(0, 0, 1279, 1023));
}

TEST_F(ScreenTest, ReadsARectangleAsBlueGreenRedAlphaRows)
{
    fInput.SetPixel(10, 20, rgb_color { 0x11, 0x22, 0x33, 0xff });
    fInput.SetPixel(11, 20, rgb_color { 0x44, 0x55, 0x66, 0xff });
    fInput.SetPixel(10, 21, rgb_color { 0x77, 0x88, 0x99, 0xff });
    BRect area(10, 20, 11, 21);
    BBitmap bitmap(BRect(0, 0, 1, 1), B_RGB32);
    BScreen screen;
    ASSERT_EQ(screen.ReadBitmap(&bitmap, false, &area), B_OK);

    const auto* bytes = static_cast<const uint8*>(bitmap.Bits());
    EXPECT_EQ(bytes[0], 0x33);
    EXPECT_EQ(bytes[1], 0x22);
    EXPECT_EQ(bytes[2], 0x11);
    EXPECT_EQ(WordAt(bitmap, 1, 0) & 0xffffff, 0x445566u);
    EXPECT_EQ(WordAt(bitmap, 0, 1) & 0xffffff, 0x778899u);
    EXPECT_EQ(WordAt(bitmap, 1, 1) & 0xffffff, 0u);
}

TEST_F(ScreenTest, WithoutBoundsTheBitmapsOwnBoundsAreRead)
{
    fInput.SetPixel(3, 4, rgb_color { 1, 2, 3, 255 });
    BBitmap bitmap(BRect(3, 4, 3, 4), B_RGB32);
    ASSERT_EQ(BScreen().ReadBitmap(&bitmap), B_OK);
    EXPECT_EQ(WordAt(bitmap, 0, 0) & 0xffffff, 0x010203u);
}

TEST_F(ScreenTest, FailedReadsLeaveBlackAndSayTheyFailed)
{
    fInput.Fill(rgb_color { 200, 100, 50, 255 });
    BScreen screen;
    const float huge = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const BRect onePixel(0, 0, 0, 0);
    const std::pair<BRect, BRect> reads[] = {
        { BRect(320, 0, 320, 0), onePixel },
        { BRect(-1, -1, -1, -1), onePixel },
        { BRect(319, 199, 320, 200), BRect(0, 0, 1, 1) },
        { BRect(huge, huge, huge, huge), onePixel },
        { BRect(nan, nan, nan, nan), onePixel },
    };
    for (auto [area, bounds] : reads) {
        BBitmap bitmap(bounds, B_RGB32);
        std::memset(bitmap.Bits(), 0x7f, size_t(bitmap.BitsLength()));
        EXPECT_NE(screen.ReadBitmap(&bitmap, false, &area), B_OK) << area.left << "," << area.top;
        EXPECT_EQ(WordAt(bitmap, 0, 0) & 0xffffff, 0u) << "not black at " << area.left << "," << area.top;
    }
}

TEST_F(ScreenTest, BitmapsThatCannotHoldTheAreaAreRefused)
{
    BScreen screen;
    BRect area(0, 0, 1, 1);
    BBitmap tooSmall(BRect(0, 0, 0, 0), B_RGB32);
    EXPECT_EQ(screen.ReadBitmap(&tooSmall, false, &area), B_BAD_VALUE);
    BBitmap palette(BRect(0, 0, 1, 1), B_CMAP8);
    EXPECT_EQ(screen.ReadBitmap(&palette, false, &area), B_BAD_VALUE);
    EXPECT_EQ(screen.ReadBitmap(nullptr, false, &area), B_BAD_VALUE);
}

} // namespace
