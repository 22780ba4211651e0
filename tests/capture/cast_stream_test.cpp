// A screen-cast stream's cursor and pictures, on synthesised buffers: what
// the portal's PipeWire stream hands over, without a compositor.

#include "platform/input/portal/CastStreamCore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// A 3 x 2 picture in `format`, rows `stride` bytes apart, whose pixel (x, y)
// has red 10 * x + y + 1, green 100 + x, blue 200 + y; padding bytes and
// unused bytes are 0xee, so reading one of them shows.
std::vector<uint8> Picture(CastPixelFormat format, int32 stride)
{
    std::vector<uint8> bytes(size_t(stride) * 2, 0xee);
    for (int32 y = 0; y < 2; ++y) {
        for (int32 x = 0; x < 3; ++x) {
            const uint8 r = uint8(10 * x + y + 1), g = uint8(100 + x), b = uint8(200 + y);
            uint8* p = bytes.data() + y * stride + x * 4;
            switch (format) {
            case CastPixelFormat::BGRx: case CastPixelFormat::BGRA: p[0] = b; p[1] = g; p[2] = r; break;
            case CastPixelFormat::RGBx: case CastPixelFormat::RGBA: p[0] = r; p[1] = g; p[2] = b; break;
            case CastPixelFormat::xRGB: case CastPixelFormat::ARGB: p[1] = r; p[2] = g; p[3] = b; break;
            case CastPixelFormat::xBGR: case CastPixelFormat::ABGR: p[1] = b; p[2] = g; p[3] = r; break;
            }
        }
    }
    return bytes;
}

CastBuffer FrameBuffer(const std::vector<uint8>& bytes, int32 stride)
{
    return CastBuffer { bytes.data(), bytes.size(), stride, nullptr };
}

// The B_RGB32 word of desktop pixel (x, y), or ~0 when the read fails.
uint32 Word(const CastStreamCore& core, int32 x, int32 y)
{
    uint32 word = 0;
    if (core.ReadPixels(x, y, 1, 1, reinterpret_cast<uint8*>(&word), 4) != B_OK)
        return ~0u;
    return word;
}

uint32 Expected(int32 x, int32 y)
{
    return 0xff000000u | uint32(10 * x + y + 1) << 16 | uint32(100 + x) << 8 | uint32(200 + y);
}

} // namespace

TEST(CastStreamTest, CursorOnlyBuffersGivePositionsOnTheDesktopOncePerMove)
{
    CastStreamCore core(BPoint(1024, 100));
    core.SetFormat(CastPixelFormat::BGRx, 800, 600);
    EXPECT_EQ(core.Frame(), BRect(1024, 100, 1823, 699));

    CastCursor cursor { true, 300, 200 };
    const CastBuffer cursorOnly { nullptr, 0, 0, &cursor };
    EXPECT_EQ(core.Take(cursorOnly), BPoint(1324, 300));
    // The same place again (the stream also repeats it with frames): no move.
    EXPECT_EQ(core.Take(cursorOnly), std::nullopt);
    cursor = { true, 0, 599 };
    EXPECT_EQ(core.Take(cursorOnly), BPoint(1024, 699));
    // Off this monitor, or a position outside the stream: nothing known.
    cursor = { false, 10, 10 };
    EXPECT_EQ(core.Take(cursorOnly), std::nullopt);
    cursor = { true, 800, 10 };
    EXPECT_EQ(core.Take(cursorOnly), std::nullopt);
    EXPECT_EQ(core.Take(CastBuffer {}), std::nullopt);
    // No picture has come: no pixel to read.
    EXPECT_EQ(Word(core, 1024, 100), ~0u);
}

TEST(CastStreamTest, PicturesInEveryLayoutAndStrideReadAsBlueGreenRedAlpha)
{
    for (CastPixelFormat format : { CastPixelFormat::BGRx, CastPixelFormat::RGBx, CastPixelFormat::xRGB,
             CastPixelFormat::xBGR, CastPixelFormat::BGRA, CastPixelFormat::RGBA, CastPixelFormat::ARGB,
             CastPixelFormat::ABGR }) {
        for (int32 stride : { 12, 16 }) {
            SCOPED_TRACE(testing::Message() << "format " << int(format) << ", stride " << stride);
            CastStreamCore core(BPoint(5, 7));
            core.SetFormat(format, 3, 2);
            std::vector<uint8> bytes = Picture(format, stride);
            bool refused = true;
            EXPECT_EQ(core.Take(FrameBuffer(bytes, stride), &refused), std::nullopt);
            EXPECT_FALSE(refused);
            // The stream reuses its buffers: what was taken is a copy.
            std::memset(bytes.data(), 0, bytes.size());
            for (int32 y = 0; y < 2; ++y) {
                for (int32 x = 0; x < 3; ++x)
                    EXPECT_EQ(Word(core, 5 + x, 7 + y), Expected(x, y)) << x << "," << y;
            }
            uint32 area[6] = {};
            ASSERT_EQ(core.ReadPixels(6, 7, 2, 2, reinterpret_cast<uint8*>(area), 12), B_OK);
            EXPECT_EQ(area[0], Expected(1, 0));
            EXPECT_EQ(area[4], Expected(2, 1));
            EXPECT_EQ(core.ReadPixels(7, 7, 2, 1, reinterpret_cast<uint8*>(area), 8), B_BAD_VALUE);
            EXPECT_EQ(Word(core, 4, 7), ~0u);
        }
    }
}

TEST(CastStreamTest, APictureThatDoesNotFitIsRefusedAndTheLastOneKept)
{
    CastStreamCore core(BPoint(0, 0));
    core.SetFormat(CastPixelFormat::BGRx, 3, 2);
    const std::vector<uint8> good = Picture(CastPixelFormat::BGRx, 12);
    core.Take(FrameBuffer(good, 12));
    const std::vector<uint8> black(12 * 2, 0);
    bool refused = false;
    // One byte short of the last row; a stride narrower than a row.
    core.Take(CastBuffer { black.data(), black.size() - 1, 12, nullptr }, &refused);
    EXPECT_TRUE(refused);
    core.Take(CastBuffer { black.data(), black.size(), 8, nullptr }, &refused);
    EXPECT_TRUE(refused);
    EXPECT_EQ(Word(core, 2, 1), Expected(2, 1));
    // A new size drops the old picture rather than read it with the wrong rows.
    core.SetFormat(CastPixelFormat::BGRx, 2, 2);
    EXPECT_EQ(Word(core, 0, 0), ~0u);
}

TEST(CastStreamTest, AStreamThatEndsHasNoFramePictureOrPointer)
{
    CastStreamCore core(BPoint(0, 0));
    core.SetFormat(CastPixelFormat::RGBA, 3, 2);
    const std::vector<uint8> bytes = Picture(CastPixelFormat::RGBA, 12);
    CastCursor cursor { true, 1, 1 };
    EXPECT_EQ(core.Take(CastBuffer { bytes.data(), bytes.size(), 12, &cursor }), BPoint(1, 1));
    core.End();
    EXPECT_FALSE(core.Frame().IsValid());
    EXPECT_EQ(Word(core, 1, 1), ~0u);
    cursor = { true, 2, 1 };
    EXPECT_EQ(core.Take(CastBuffer { bytes.data(), bytes.size(), 12, &cursor }), std::nullopt);
}

// Pictures arrive on the stream's thread while another thread reads: under
// ThreadSanitizer this shows any unguarded sharing, and a reader never sees
// half of one picture and half of the next.
TEST(CastStreamTest, ReadersSeeWholePicturesWhileNewOnesArrive)
{
    CastStreamCore core(BPoint(0, 0));
    core.SetFormat(CastPixelFormat::BGRx, 64, 64);
    std::vector<uint8> bytes(64 * 64 * 4);
    std::atomic<bool> done { false };
    std::thread stream([&] {
        for (int frame = 0; frame < 400; ++frame) {
            std::memset(bytes.data(), frame & 0xff, bytes.size());
            core.Take(FrameBuffer(bytes, 64 * 4));
        }
        done = true;
    });
    int mixed = 0;
    int reads = 0;
    while (!done.load() || reads == 0) {
        uint32 corners[2] = {};
        if (core.ReadPixels(0, 0, 1, 1, reinterpret_cast<uint8*>(&corners[0]), 4) == B_OK
            && core.ReadPixels(63, 63, 1, 1, reinterpret_cast<uint8*>(&corners[1]), 4) == B_OK)
            ++reads;
        uint32 area[64 * 64];
        if (core.ReadPixels(0, 0, 64, 64, reinterpret_cast<uint8*>(area), 64 * 4) == B_OK
            && area[0] != area[64 * 64 - 1])
            ++mixed;
    }
    stream.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(Word(core, 10, 10), 0xff000000u | 399 % 256 * 0x010101u);
}
