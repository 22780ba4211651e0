#include "platform/app/Message.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(MessageFields, AddAndFindEveryType)
{
    BMessage message('test');
    const entry_ref ref("/tmp/presets", "Lead");
    ASSERT_EQ(message.AddInt8("i8", -8), B_OK);
    ASSERT_EQ(message.AddInt16("i16", -1600), B_OK);
    ASSERT_EQ(message.AddInt32("i32", 320000), B_OK);
    ASSERT_EQ(message.AddInt64("i64", -(int64(1) << 40)), B_OK);
    ASSERT_EQ(message.AddBool("flag", true), B_OK);
    ASSERT_EQ(message.AddFloat("f", 0.25f), B_OK);
    ASSERT_EQ(message.AddDouble("d", 1.0 / 3.0), B_OK);
    ASSERT_EQ(message.AddString("s", "text"), B_OK);
    ASSERT_EQ(message.AddPoint("p", BPoint(3, 4)), B_OK);
    ASSERT_EQ(message.AddRect("r", BRect(1, 2, 3, 4)), B_OK);
    ASSERT_EQ(message.AddRef("ref", &ref), B_OK);
    const unsigned char raw[3] = {1, 2, 3};
    ASSERT_EQ(message.AddData("raw", 'ICON', raw, sizeof raw), B_OK);

    EXPECT_EQ(message.what, uint32('test'));
    EXPECT_EQ(message.FindInt8("i8"), -8);
    EXPECT_EQ(message.FindInt16("i16"), -1600);
    EXPECT_EQ(message.FindInt32("i32"), 320000);
    EXPECT_EQ(message.FindInt64("i64"), -(int64(1) << 40));
    EXPECT_TRUE(message.FindBool("flag"));
    EXPECT_EQ(message.FindFloat("f"), 0.25f);
    EXPECT_EQ(message.FindDouble("d"), 1.0 / 3.0);
    EXPECT_STREQ(message.FindString("s"), "text");
    EXPECT_EQ(message.FindPoint("p"), BPoint(3, 4));
    EXPECT_EQ(message.FindRect("r"), BRect(1, 2, 3, 4));
    entry_ref found;
    ASSERT_EQ(message.FindRef("ref", &found), B_OK);
    EXPECT_EQ(found, ref);
    EXPECT_EQ(found.Path(), "/tmp/presets/Lead");
    const void* data = nullptr;
    ssize_t size = 0;
    ASSERT_EQ(message.FindData("raw", 'ICON', &data, &size), B_OK);
    ASSERT_EQ(size, 3);
    EXPECT_EQ(static_cast<const unsigned char*>(data)[2], 3);
}

TEST(MessageFields, AbsentFieldsReadAsZero)
{
    BMessage message('cdat');
    message.AddInt32("x", 7); // same name, other type: still absent as float
    EXPECT_EQ(message.FindFloat("x"), 0.0f);
    EXPECT_EQ(message.FindFloat("pressure"), 0.0f);
    EXPECT_FALSE(message.FindBool("eraser"));
    EXPECT_EQ(message.FindInt32("mouseb"), 0);
    EXPECT_EQ(message.FindPoint("where"), BPoint(0, 0));
    EXPECT_STREQ(message.FindString("name"), "");
    int16 untouched = 42;
    EXPECT_EQ(message.FindInt16("channel", &untouched), B_NAME_NOT_FOUND);
    EXPECT_EQ(untouched, 42);
}

TEST(MessageFields, HasDistinguishesNameTypeAndIndex)
{
    BMessage message;
    message.AddInt16("lorange", 0);
    EXPECT_TRUE(message.HasInt16("lorange"));
    EXPECT_TRUE(message.HasData("lorange", B_ANY_TYPE));
    EXPECT_FALSE(message.HasInt32("lorange"));
    EXPECT_FALSE(message.HasInt16("lorange", 1));
    EXPECT_FALSE(message.HasInt16("hirange"));
}

TEST(MessageFields, SeveralItemsAndReplaceTouchesOnlyTheFirst)
{
    BMessage message;
    message.AddInt32("n", 1);
    message.AddInt32("n", 2);
    ASSERT_EQ(message.ReplaceInt32("n", 10), B_OK);
    int32 count = 0;
    type_code type = 0;
    ASSERT_EQ(message.GetInfo("n", &type, &count), B_OK);
    EXPECT_EQ(type, B_INT32_TYPE);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(message.FindInt32("n", 0), 10);
    EXPECT_EQ(message.FindInt32("n", 1), 2);
    EXPECT_EQ(message.ReplaceInt32("missing", 1), B_NAME_NOT_FOUND);
    EXPECT_EQ(message.ReplaceFloat("n", 1.0f), B_BAD_TYPE);
}

TEST(MessageFields, RefusesMismatchedAdds)
{
    BMessage message;
    EXPECT_EQ(message.AddInt16("v", 1), B_OK);
    EXPECT_EQ(message.AddInt32("v", 1), B_BAD_TYPE);
    EXPECT_EQ(message.AddInt16(nullptr, 1), B_BAD_VALUE);
    EXPECT_EQ(message.AddInt16("", 1), B_BAD_VALUE);
    EXPECT_EQ(message.AddString("s", nullptr), B_BAD_VALUE);
    const char icon[4] = {};
    EXPECT_EQ(message.AddData("icon", 'ICON', icon, 4, true), B_OK);
    EXPECT_EQ(message.AddData("icon", 'ICON', icon, 3, true), B_BAD_VALUE);
    EXPECT_EQ(message.AddData("bad", B_INT32_TYPE, icon, 3), B_BAD_VALUE);
}

TEST(MessageFields, CopiesAreIndependent)
{
    BMessage original('cdat');
    original.AddFloat("x", 0.5f);
    BMessage copy(original);
    copy.ReplaceFloat("x", 0.75f);
    copy.AddBool("eraser", true);
    EXPECT_EQ(original.FindFloat("x"), 0.5f);
    EXPECT_FALSE(original.HasBool("eraser"));
    EXPECT_EQ(copy.FindFloat("x"), 0.75f);
}

TEST(MessageFields, PrintToStreamNamesCodeFieldsAndValues)
{
    BMessage message('bsav');
    message.AddInt16("channel", 5);
    message.AddString("name", "Lead");
    char buffer[512] = {};
    std::FILE* stream = fmemopen(buffer, sizeof buffer - 1, "w");
    ASSERT_NE(stream, nullptr);
    message.PrintToStream(stream);
    std::fclose(stream);
    const std::string dump(buffer);
    EXPECT_NE(dump.find("'bsav'"), std::string::npos) << dump;
    EXPECT_NE(dump.find("channel[0], type 'SHRT': 5"), std::string::npos) << dump;
    EXPECT_NE(dump.find("name[0], type 'CSTR': \"Lead\""), std::string::npos) << dump;
}
