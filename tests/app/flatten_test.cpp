#include "platform/app/Message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

BMessage SampleMessage()
{
    BMessage message('bsav');
    const entry_ref ref("/home/user/.config/Zimbrel2", "Lead");
    message.AddInt64("when", 123456789);
    message.AddInt16("channel", 3);
    message.AddInt16("channel", 4);
    message.AddFloat("x", 0.5f);
    message.AddBool("eraser", true);
    message.AddString("name", "Lead");
    message.AddPoint("where", BPoint(1023, 767));
    message.AddRect("frame", BRect(0, 20, 400, 320));
    message.AddRef("filename", &ref);
    const unsigned char icon[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    message.AddData("be:mini_icon", 'MICN', icon, sizeof icon);
    return message;
}

void ExpectSameAsSample(const BMessage& message)
{
    EXPECT_EQ(message.what, uint32('bsav'));
    EXPECT_EQ(message.FindInt64("when"), 123456789);
    EXPECT_EQ(message.FindInt16("channel", 1), 4);
    EXPECT_EQ(message.FindFloat("x"), 0.5f);
    EXPECT_TRUE(message.FindBool("eraser"));
    EXPECT_STREQ(message.FindString("name"), "Lead");
    EXPECT_EQ(message.FindPoint("where"), BPoint(1023, 767));
    EXPECT_EQ(message.FindRect("frame"), BRect(0, 20, 400, 320));
    entry_ref ref;
    EXPECT_EQ(message.FindRef("filename", &ref), B_OK);
    EXPECT_EQ(ref.name, "Lead");
    const void* data = nullptr;
    ssize_t size = 0;
    ASSERT_EQ(message.FindData("be:mini_icon", 'MICN', &data, &size), B_OK);
    EXPECT_EQ(size, 16);
}

} // namespace

TEST(Flatten, RoundTripKeepsEveryField)
{
    const BMessage original = SampleMessage();
    const std::vector<char> bytes = original.Flatten();
    EXPECT_EQ(ssize_t(bytes.size()), original.FlattenedSize());
    BMessage copy;
    ASSERT_EQ(copy.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);
    ExpectSameAsSample(copy);
}

TEST(Flatten, LayoutStartsWithMagicVersionAndLittleEndianCode)
{
    BMessage message('bsav');
    const std::vector<char> bytes = message.Flatten();
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::memcmp(bytes.data(), "ZMSG", 4), 0);
    EXPECT_EQ(bytes[4], 1);
    // 'bsav' is 0x62736176, stored lowest byte first.
    EXPECT_EQ(bytes[8], 'v');
    EXPECT_EQ(bytes[11], 'b');
}

TEST(Flatten, EveryTruncationIsRefusedAndLeavesTheMessageAlone)
{
    const std::vector<char> bytes = SampleMessage().Flatten();
    for (size_t length = 0; length < bytes.size(); ++length) {
        BMessage target('keep');
        target.AddInt32("kept", 1);
        EXPECT_EQ(target.Unflatten(bytes.data(), ssize_t(length)), B_BAD_DATA) << "length " << length;
        EXPECT_EQ(target.what, uint32('keep'));
        EXPECT_EQ(target.FindInt32("kept"), 1);
    }
}

TEST(Flatten, RefusesMalformedHeadersAndTrailingBytes)
{
    std::vector<char> bytes = SampleMessage().Flatten();
    BMessage target;

    std::vector<char> badMagic = bytes;
    badMagic[0] = 'X';
    EXPECT_EQ(target.Unflatten(badMagic.data(), ssize_t(badMagic.size())), B_BAD_DATA);

    std::vector<char> badVersion = bytes;
    badVersion[4] = 2;
    EXPECT_EQ(target.Unflatten(badVersion.data(), ssize_t(badVersion.size())), B_BAD_DATA);

    std::vector<char> trailing = bytes;
    trailing.push_back(0);
    EXPECT_EQ(target.Unflatten(trailing.data(), ssize_t(trailing.size())), B_BAD_DATA);

    EXPECT_EQ(target.Unflatten(nullptr, 100), B_BAD_DATA);
}

TEST(Flatten, RefusesHugeCountsWithoutAllocatingForThem)
{
    // A header that claims the largest allowed number of fields but carries
    // no bytes for them, then one that claims 2^32-1 items in its field.
    std::vector<char> manyFields = BMessage('x').Flatten();
    const uint32 fields = BMessage::kMaxFlattenedFields;
    std::memcpy(manyFields.data() + 12, &fields, 4);
    BMessage target;
    EXPECT_EQ(target.Unflatten(manyFields.data(), ssize_t(manyFields.size())), B_BAD_DATA);

    BMessage one('x');
    one.AddInt32("n", 5);
    std::vector<char> manyItems = one.Flatten();
    const size_t itemCountAt = 16 + 1 + 1 + 4 + 1;
    const uint32 items = 0xffffffffu;
    std::memcpy(manyItems.data() + itemCountAt, &items, 4);
    EXPECT_EQ(target.Unflatten(manyItems.data(), ssize_t(manyItems.size())), B_BAD_DATA);
}

TEST(Flatten, RefusesItemsThatDoNotFitTheirType)
{
    BMessage one('x');
    one.AddString("s", "ab");
    std::vector<char> bytes = one.Flatten();
    // Replace the string's terminating zero: a string item must end in one.
    ASSERT_EQ(bytes.back(), '\0');
    bytes.back() = 'c';
    BMessage target;
    EXPECT_EQ(target.Unflatten(bytes.data(), ssize_t(bytes.size())), B_BAD_DATA);

    BMessage flag('x');
    flag.AddBool("b", true);
    std::vector<char> boolBytes = flag.Flatten();
    boolBytes.back() = 7;
    EXPECT_EQ(target.Unflatten(boolBytes.data(), ssize_t(boolBytes.size())), B_BAD_DATA);
}

TEST(Flatten, RandomCorruptionNeverCrashes)
{
    const std::vector<char> original = SampleMessage().Flatten();
    std::mt19937 random(1234);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<char> bytes = original;
        const int flips = 1 + int(random() % 4);
        for (int i = 0; i < flips; ++i)
            bytes[random() % bytes.size()] = char(random());
        BMessage target;
        if (target.Unflatten(bytes.data(), ssize_t(bytes.size())) == B_OK) {
            ++accepted;
            // Whatever was accepted flattens back to the very same bytes.
            EXPECT_EQ(target.Flatten(), bytes);
        }
    }
    EXPECT_LT(accepted, 3000);
}

TEST(Flatten, ZeroLengthItemsRoundTrip)
{
    // An empty item has no storage behind it; flattening must copy nothing
    // from it (the sanitizer build catches a null pointer reaching memcpy).
    BMessage message('x');
    const char none = 0;
    ASSERT_EQ(message.AddData("empty", 'RAW ', &none, 0, false), B_OK);
    ASSERT_EQ(message.AddData("empty", 'RAW ', "ab", 2, false), B_OK);
    const std::vector<char> bytes = message.Flatten();

    BMessage back;
    ASSERT_EQ(back.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);
    const void* data = nullptr;
    ssize_t size = -1;
    ASSERT_EQ(back.FindData("empty", 'RAW ', 0, &data, &size), B_OK);
    EXPECT_EQ(size, 0);
    ASSERT_EQ(back.FindData("empty", 'RAW ', 1, &data, &size), B_OK);
    ASSERT_EQ(size, 2);
    EXPECT_EQ(std::memcmp(data, "ab", 2), 0);
}

// Whatever a message accepts it can flatten and read back: adding stops at
// the same limits that unflattening enforces.
TEST(Flatten, AddingStopsAtTheLimitsUnflattenAccepts)
{
    BMessage fields('x');
    for (uint32 i = 0; i < BMessage::kMaxFlattenedFields; ++i)
        ASSERT_EQ(fields.AddInt8(("f" + std::to_string(i)).c_str(), 1), B_OK);
    EXPECT_EQ(fields.AddInt8("one more", 1), B_NO_MEMORY);
    EXPECT_FALSE(fields.HasData("one more", B_INT8_TYPE));
    // An existing field still takes items.
    EXPECT_EQ(fields.AddInt8("f0", 2), B_OK);
    std::vector<char> bytes = fields.Flatten();
    BMessage back;
    EXPECT_EQ(back.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);

    BMessage items('x');
    for (uint32 i = 0; i < BMessage::kMaxFlattenedItems; ++i)
        ASSERT_EQ(items.AddInt8("n", int8(i)), B_OK);
    EXPECT_EQ(items.AddInt8("n", 1), B_NO_MEMORY);
    int32 count = 0;
    ASSERT_EQ(items.GetInfo("n", nullptr, &count), B_OK);
    EXPECT_EQ(uint32(count), BMessage::kMaxFlattenedItems);
    bytes = items.Flatten();
    EXPECT_EQ(back.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);
    const int32 last = int32(BMessage::kMaxFlattenedItems) - 1;
    EXPECT_EQ(back.FindInt8("n", last), int8(last));
}
