// The icon encoder's PNGs read back through Qt's independent PNG decoder.

#include "platform/midi/IconPng.h"
#include "platform/support/GraphicsDefs.h"

#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QImage Decode(const std::vector<uint8>& png)
{
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(png.data()), int(png.size()), "PNG");
    return image;
}

void ExpectPixelsMatchPalette(const std::vector<uint8>& indexes, uint32 side)
{
    const QImage image = Decode(Cmap8IconToPng(indexes.data(), side));
    ASSERT_FALSE(image.isNull()) << "Qt could not read the PNG";
    ASSERT_EQ(image.width(), int(side));
    ASSERT_EQ(image.height(), int(side));
    for (uint32 y = 0; y < side; ++y) {
        for (uint32 x = 0; x < side; ++x) {
            const rgb_color& expected = system_palette_color(indexes[y * side + x]);
            const QRgb pixel = image.pixel(int(x), int(y));
            ASSERT_EQ(qAlpha(pixel), expected.alpha) << x << "," << y;
            if (expected.alpha == 0)
                continue;
            ASSERT_EQ(qRed(pixel), expected.red) << x << "," << y;
            ASSERT_EQ(qGreen(pixel), expected.green) << x << "," << y;
            ASSERT_EQ(qBlue(pixel), expected.blue) << x << "," << y;
        }
    }
}

} // namespace

TEST(MidiIconPng, LargeAndMiniIconsDecodeToThePaletteColours)
{
    std::vector<uint8> large(32 * 32);
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = uint8(i % 256); // every palette entry, transparent included
    ExpectPixelsMatchPalette(large, 32);

    std::vector<uint8> mini(16 * 16);
    for (size_t i = 0; i < mini.size(); ++i)
        mini[i] = uint8((i * 37) % 256);
    ExpectPixelsMatchPalette(mini, 16);
}

TEST(MidiIconPng, IconsBiggerThanOneStoredBlockStillDecode)
{
    std::vector<uint8> big(200 * 200);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = uint8((i / 200 + i % 200) % 216);
    ExpectPixelsMatchPalette(big, 200);
}

TEST(MidiIconPng, Base64MatchesTheStandardVectors)
{
    const auto encode = [](const char* text) {
        return EncodeBase64(std::vector<uint8>(text, text + std::strlen(text)));
    };
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("foo"), "Zm9v");
    EXPECT_EQ(encode("foob"), "Zm9vYg==");
    EXPECT_EQ(encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(EncodeBase64({0xFF, 0xEF, 0xBE}), "/+++");
    const QByteArray decoded = QByteArray::fromBase64(
        QByteArray::fromStdString(EncodeBase64(Cmap8IconToPng(std::vector<uint8>(256, 3).data(), 16))));
    EXPECT_TRUE(decoded.startsWith("\x89PNG"));
}
