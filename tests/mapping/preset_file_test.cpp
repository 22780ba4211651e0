// Preset files on their own: which names may be saved, the mapping fields a
// save adds, and reading a file back, which must take nothing from a file
// that is not a complete preset.

#include "mapping/PresetFile.h"
#include "tests/common/PrivateSettings.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

PresetMapping SampleMapping()
{
    PresetMapping mapping {};
    mapping.channel = 9;
    mapping.x = cfg { 7, 100, 3, true };
    mapping.y = cfg { 0, 0, 127, true };
    mapping.pressure = cfg { kControllerOff, 127, 0, false };
    mapping.red = cfg { kControllerOff, 50, 60, true }; // a range picked after "off"
    mapping.green = cfg { 127, 127, 127, true };
    mapping.blue = cfg { 64, 1, 2, false };
    return mapping;
}

// A preset as a save writes it: the name field's 'bsav' with the mapping.
std::vector<char> SavedPreset(const PresetMapping& mapping)
{
    BMessage save('bsav');
    save.AddInt64("when", 123456);
    AddMapping(&save, mapping);
    return save.Flatten();
}

TEST(PresetName, RefusesWhatWouldLeaveTheFolderOrNameNoFile)
{
    const std::string folder = "/home/u/.config/Zimbrel2/";
    for (const char* bad : { "", ".", "..", "a/b", "/", "../escape", "tab\there", "new\nline", "bell\x7f" })
        EXPECT_NE(RefusedPresetName(folder, bad), "") << '"' << bad << '"';
    EXPECT_NE(RefusedPresetName(folder, nullptr), "");
    for (const char* good : { "Lead", "...", ".hidden", "a b", "\xc3\xa9t\xc3\xa9", "-x" })
        EXPECT_EQ(RefusedPresetName(folder, good), "") << '"' << good << '"';

    // The full path may be 255 bytes long, not one more.
    const std::string fits(255 - folder.size(), 'n');
    EXPECT_EQ(RefusedPresetName(folder, fits.c_str()), "");
    EXPECT_NE(RefusedPresetName(folder, (fits + "n").c_str()), "");
}

TEST(PresetMappingFields, RoundTripEveryValueAndRefuseIncompleteOrOutOfRangeSets)
{
    const PresetMapping mapping = SampleMapping();
    BMessage save('bsav');
    AddMapping(&save, mapping);
    PresetMapping found {};
    std::string why;
    ASSERT_EQ(FindMapping(save, &found, &why), B_OK) << why;
    EXPECT_TRUE(found == mapping);

    // Each field taken away, or set out of its range, refuses the whole set.
    const PresetMapping untouched = SampleMapping();
    for (const char* quantity : { "x", "y", "pressure", "red", "green", "blue" }) {
        for (const char* part : { "controller", "lorange", "hirange", "enabled" }) {
            const std::string name = std::string(quantity) + " " + part;
            BMessage without('bsav');
            without.AddInt16("channel", 3);
            for (const char* other : { "x", "y", "pressure", "red", "green", "blue" })
                for (const char* otherPart : { "controller", "lorange", "hirange", "enabled" }) {
                    const std::string field = std::string(other) + " " + otherPart;
                    if (field == name)
                        continue;
                    if (std::string(otherPart) == "enabled")
                        without.AddBool(field.c_str(), true);
                    else
                        without.AddInt16(field.c_str(), 1);
                }
            PresetMapping result = untouched;
            EXPECT_EQ(FindMapping(without, &result, &why), B_BAD_DATA) << name;
            EXPECT_NE(why.find(name), std::string::npos) << why;
            EXPECT_TRUE(result == untouched) << "a refused set changed the mapping";
        }
    }
    for (const auto& [name, value] : std::vector<std::pair<const char*, int16>> { { "channel", 16 },
             { "channel", -1 }, { "channel", 127 }, { "x controller", 129 }, { "x controller", -1 },
             { "y lorange", 128 }, { "blue hirange", 200 } }) {
        BMessage wrong('bsav');
        AddMapping(&wrong, mapping);
        wrong.ReplaceInt16(name, value);
        PresetMapping result = untouched;
        EXPECT_EQ(FindMapping(wrong, &result, &why), B_BAD_DATA) << name << " = " << value;
        EXPECT_TRUE(result == untouched);
    }
    BMessage typed('bsav');
    AddMapping(&typed, mapping);
    typed.MakeEmpty();
    typed.AddInt32("channel", 3); // right name, wrong type
    EXPECT_EQ(FindMapping(typed, &found, &why), B_BAD_DATA);
}

TEST(PresetBytes, ASavedPresetReadsBackAndNoPrefixOfItDoes)
{
    const PresetMapping mapping = SampleMapping();
    const std::vector<char> bytes = SavedPreset(mapping);
    PresetMapping found {};
    std::string why;
    ASSERT_EQ(ReadPreset(bytes.data(), bytes.size(), &found, &why), B_OK) << why;
    EXPECT_TRUE(found == mapping);

    // A file cut short anywhere, or with bytes after the message, is no preset.
    for (size_t length = 0; length < bytes.size(); ++length) {
        PresetMapping result {};
        ASSERT_NE(ReadPreset(bytes.data(), length, &result, &why), B_OK) << "cut at " << length;
        EXPECT_FALSE(why.empty());
    }
    std::vector<char> longer = bytes;
    longer.push_back('\0');
    EXPECT_NE(ReadPreset(longer.data(), longer.size(), &found, &why), B_OK);
}

TEST(PresetBytes, ForeignAndMappingLessFilesAreRefusedWithTheirReason)
{
    PresetMapping found {};
    std::string why;
    const std::string text = "not a preset\n";
    EXPECT_EQ(ReadPreset(text.data(), text.size(), &found, &why), B_BAD_DATA);
    EXPECT_NE(why.find("damaged"), std::string::npos) << why;

    BMessage other('cdat');
    AddMapping(&other, SampleMapping());
    const std::vector<char> otherBytes = other.Flatten();
    EXPECT_EQ(ReadPreset(otherBytes.data(), otherBytes.size(), &found, &why), B_BAD_DATA);
    EXPECT_NE(why.find("another message"), std::string::npos) << why;

    // What a save without the mapping writes: the name field's 'bsav' alone.
    BMessage bare('bsav');
    bare.AddInt64("when", 1);
    const std::vector<char> bareBytes = bare.Flatten();
    EXPECT_EQ(ReadPreset(bareBytes.data(), bareBytes.size(), &found, &why), B_BAD_DATA);
    EXPECT_NE(why.find("no complete mapping"), std::string::npos) << why;
}

TEST(PresetFiles, WriteReplacesAnEarlierLongerFileAndReadsBackFromThePath)
{
    PrivateSettings scratch;
    const std::string path = scratch.Root() + "/Lead";
    {
        std::ofstream longer(path, std::ios::binary);
        const std::vector<char> big = SavedPreset(SampleMapping());
        for (int copy = 0; copy < 10; ++copy)
            longer.write(big.data(), std::streamsize(big.size()));
    }
    PresetMapping mapping = SampleMapping();
    mapping.channel = 0;
    BMessage save('bsav');
    AddMapping(&save, mapping);
    ASSERT_EQ(WritePreset(path.c_str(), save), 0);
    EXPECT_EQ(std::filesystem::file_size(path), save.Flatten().size());
    PresetMapping found {};
    std::string why;
    ASSERT_EQ(ReadPreset(path.c_str(), &found, &why), B_OK) << why;
    EXPECT_TRUE(found == mapping);

    EXPECT_EQ(ReadPreset((scratch.Root() + "/none").c_str(), &found, &why), B_ENTRY_NOT_FOUND);
    EXPECT_EQ(ReadPreset(scratch.Root().c_str(), &found, &why), B_BAD_VALUE);
    EXPECT_NE(why.find("a folder"), std::string::npos) << why;
    std::ofstream(scratch.Root() + "/huge") << std::string(100 * 1024, 'x');
    EXPECT_EQ(ReadPreset((scratch.Root() + "/huge").c_str(), &found, &why), B_BAD_DATA);
    EXPECT_NE(why.find("too large"), std::string::npos) << why;
}

} // namespace

TEST(PresetRowSettings, RoundTripOldPresetsGetDefaultsUnknownFieldsAreIgnoredAndBadOnesRefused)
{
    PresetMapping mapping = SampleMapping();
    mapping.outputs[0] = RowOutput { OutputKind::Nrpn14, 16383, CurveKind::SCurve, 100, 7, 1000 };
    mapping.outputs[2] = RowOutput { OutputKind::PitchBend, 0, CurveKind::Exponential, 0, 100, 5 };
    mapping.outputs[5] = RowOutput { OutputKind::ChannelPressure, 12, CurveKind::Logarithmic, 33, 0, 0 };
    mapping.soloRow = 5;
    mapping.players = PlayerChoice { Players::NamedDevice, "Wacom Intuos Pen stylus" };
    PresetMapping found {};
    std::string why;
    const std::vector<char> bytes = SavedPreset(mapping);
    ASSERT_EQ(ReadPreset(bytes.data(), bytes.size(), &found, &why), B_OK) << why;
    EXPECT_TRUE(found == mapping);

    // A preset written before rows had settings: only the records.
    BMessage old('bsav');
    old.AddInt16("channel", 9);
    for (const char* quantity : { "x", "y", "pressure", "red", "green", "blue" }) {
        for (const char* part : { " controller", " lorange", " hirange" })
            old.AddInt16((std::string(quantity) + part).c_str(), 5);
        old.AddBool((std::string(quantity) + " enabled").c_str(), true);
    }
    const std::vector<char> oldBytes = old.Flatten();
    ASSERT_EQ(ReadPreset(oldBytes.data(), oldBytes.size(), &found, &why), B_OK) << why;
    for (const RowOutput& output : found.outputs)
        EXPECT_TRUE(output == RowOutput {});
    EXPECT_EQ(found.soloRow, -1);
    EXPECT_FALSE(found.players) << "an old preset changes who plays";

    // Settings of a later version are passed over.
    BMessage later('bsav');
    AddMapping(&later, mapping);
    later.AddInt32("x aftertouch mode", 3);
    later.AddString("y output label", "future");
    const std::vector<char> laterBytes = later.Flatten();
    ASSERT_EQ(ReadPreset(laterBytes.data(), laterBytes.size(), &found, &why), B_OK) << why;
    EXPECT_TRUE(found == mapping);

    // A known setting out of range, or of another type, refuses the file.
    for (const auto& [name, value] : std::vector<std::pair<const char*, int16>> { { "x output", 5 },
             { "x output", -1 }, { "y nrpn", -1 }, { "red curve", 4 }, { "green curve amount", 101 },
             { "blue threshold", -1 }, { "pressure smoothing", 4 }, { "pressure smoothing", 1001 },
             { "solo row", 6 } }) {
        BMessage wrong('bsav');
        AddMapping(&wrong, mapping);
        wrong.ReplaceInt16(name, value);
        PresetMapping result = mapping;
        result.channel = 2;
        const PresetMapping before = result;
        EXPECT_EQ(FindMapping(wrong, &result, &why), B_BAD_DATA) << name << " = " << value;
        EXPECT_TRUE(result == before);
    }
    for (const PlayerChoice& damaged : { PlayerChoice { Players(3), "" }, PlayerChoice { Players::NamedDevice, "" } }) {
        PresetMapping wrongPlayers = mapping;
        wrongPlayers.players = damaged;
        BMessage wrong('bsav');
        AddMapping(&wrong, wrongPlayers);
        EXPECT_EQ(FindMapping(wrong, &found, &why), B_BAD_DATA) << int(damaged.players);
    }
    BMessage typed('bsav');
    typed.AddFloat("x curve", 1.0f); // the int16 of the same name is then refused
    AddMapping(&typed, mapping);
    EXPECT_EQ(FindMapping(typed, &found, &why), B_BAD_DATA);
}
