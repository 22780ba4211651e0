#include "platform/midi/IconPng.h"

#include "platform/support/GraphicsDefs.h"

#include <algorithm>
#include <array>

namespace {

uint32 Crc32(const uint8* data, size_t size, uint32 crc = 0)
{
    static const std::array<uint32, 256> table = [] {
        std::array<uint32, 256> entries{};
        for (uint32 n = 0; n < 256; ++n) {
            uint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32 Adler32(const std::vector<uint8>& data)
{
    uint32 a = 1;
    uint32 b = 0;
    for (uint8 byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void AppendBigEndian(std::vector<uint8>& out, uint32 value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8(value >> shift));
}

void AppendChunk(std::vector<uint8>& png, const char (&type)[5], const std::vector<uint8>& data)
{
    AppendBigEndian(png, uint32(data.size()));
    const size_t typeStart = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    AppendBigEndian(png, Crc32(png.data() + typeStart, png.size() - typeStart));
}

// A zlib stream of stored deflate blocks (each at most 65535 bytes).
std::vector<uint8> StoreInZlib(const std::vector<uint8>& raw)
{
    std::vector<uint8> out = {0x78, 0x01};
    size_t done = 0;
    do {
        const size_t length = std::min<size_t>(raw.size() - done, 65535);
        const bool last = done + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(uint8(length));
        out.push_back(uint8(length >> 8));
        out.push_back(uint8(~length));
        out.push_back(uint8(~length >> 8));
        out.insert(out.end(), raw.begin() + long(done), raw.begin() + long(done + length));
        done += length;
    } while (done < raw.size());
    AppendBigEndian(out, Adler32(raw));
    return out;
}

} // namespace

std::vector<uint8> Cmap8IconToPng(const uint8* pixels, uint32 side)
{
    std::vector<uint8> header;
    AppendBigEndian(header, side);
    AppendBigEndian(header, side);
    // Bit depth 8, colour type 6 (RGBA), deflate, adaptive filtering, no interlace.
    header.insert(header.end(), {8, 6, 0, 0, 0});

    std::vector<uint8> raw;
    raw.reserve(size_t(side) * (1 + side * 4));
    for (uint32 y = 0; y < side; ++y) {
        raw.push_back(0); // filter type None
        for (uint32 x = 0; x < side; ++x) {
            const rgb_color& colour = system_palette_color(pixels[y * side + x]);
            raw.insert(raw.end(), {colour.red, colour.green, colour.blue, colour.alpha});
        }
    }

    std::vector<uint8> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", StoreInZlib(raw));
    AppendChunk(png, "IEND", {});
    return png;
}

std::string EncodeBase64(const std::vector<uint8>& bytes)
{
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32 group = uint32(bytes[i]) << 16 | (left > 1 ? uint32(bytes[i + 1]) << 8 : 0) |
                             (left > 2 ? uint32(bytes[i + 2]) : 0);
        text += kDigits[(group >> 18) & 63];
        text += kDigits[(group >> 12) & 63];
        text += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        text += left > 2 ? kDigits[group & 63] : '=';
    }
    return text;
}
