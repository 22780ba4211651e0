// The preset controls as a user meets them: the list of the settings
// folder, saving under a typed name, loading by a pick, and every way a
// name or a file can be wrong. Each test has a settings folder of its own.

#include "ShellFixture.h"

#include "mapping/PresetFile.h"
#include "mapping/zbOutput.h"
#include "platform/storage/Directory.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

constexpr const char* kRows[] = { "y", "x", "pressure", "red", "green", "blue" };

std::vector<std::string> FolderEntries(const std::string& folder)
{
    BDirectory directory(folder.c_str());
    std::vector<std::string> names;
    entry_ref ref;
    while (directory.GetNextRef(&ref) == B_OK)
        names.push_back(ref.name);
    return names;
}

size_t CountLines(const std::string& text)
{
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

// The mapping view alone in a window, started on the settings folder as the
// test prepared it.
class PresetTest : public ShellTest {
protected:
    void OpenView()
    {
        window = new BWindow(BRect(20, 20, 420, 330), "presets", B_TITLED_WINDOW, 0);
        output = new zbOutput("test");
        window->AddChild(output);
        window->Show();
        view = display->FindWindow("presets");
        ASSERT_TRUE(display->Settle(view));
    }

    PeerId Field(const std::string& name) { return display->FindView(view, name); }
    PeerId PresetList() { return display->FieldMenu(Field("Presets")); }

    bool Pick(const std::string& field, const char* label)
    {
        const bool picked = display->Pick(display->FieldMenu(Field(field)), label);
        return display->Settle(view) && picked;
    }
    bool Post(BMessage message)
    {
        window->PostMessage(&message, output);
        return display->Settle(view);
    }
    bool Save(const std::string& name)
    {
        return display->TypeText(Field("PresetName"), name) && display->Settle(view);
    }

    PresetMapping Mapping() const
    {
        return PresetMapping { output->channel, output->x, output->y, output->pressure, output->red,
            output->green, output->blue };
    }
    std::map<std::string, std::string> PanelValues()
    {
        std::map<std::string, std::string> values;
        for (const char* row : kRows)
            for (const char* kind : { " select", " lorange", " hirange" })
                values[std::string(row) + kind] = display->FieldValue(Field(std::string(row) + kind));
        return values;
    }

    // Sets every one of the 25 settings through the panel and a channel.
    void ConfigureEverything()
    {
        BMessage channel('vCCH');
        channel.AddInt16("channel", 11);
        ASSERT_TRUE(Post(channel));
        const char* controllers[] = { "7  Channel Volume", "10 Pan", "off", "1 Modulation Wheel",
            "74 Sound Ctrl 5 (Brightness)", "off" };
        for (int row = 0; row < 6; ++row) {
            ASSERT_TRUE(Pick(std::string(kRows[row]) + " select", controllers[row]));
            ASSERT_TRUE(Pick(std::string(kRows[row]) + " lorange", std::to_string(10 + row).c_str()));
            ASSERT_TRUE(Pick(std::string(kRows[row]) + " hirange", std::to_string(120 - row).c_str()));
        }
        // The last row: a range picked after "off" switches it on again.
        ASSERT_TRUE(Pick("blue lorange", "3"));
    }

    BWindow* window = nullptr;
    zbOutput* output = nullptr;
    PeerId view = 0;
};

} // namespace

TEST_F(PresetTest, ListsTheRegularFilesSortedAndPrintsEachNameWithItsControlsEscaped)
{
    const std::string folder = settings.PresetFolder();
    std::filesystem::create_directories(folder + "/sub folder");
    for (const char* name : { "b lead", "Pad", "notes.txt", "\x1b[2Jred\\", "\xc2\x9b" })
        std::ofstream(folder + "/" + name) << "never saved by the program\n";
    ASSERT_EQ(::mkfifo((folder + "/fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder + "/Pad", folder + "/link");
    std::filesystem::create_symlink(folder + "/fifo", folder + "/link to fifo");

    CaptureStdout();
    OpenView();
    EXPECT_EQ(GetCapturedStdout(), "\\x1b[2Jred\\\\\nPad\nb lead\nlink\nnotes.txt\n\\x9b\n");
    const std::vector<std::string> listed { "\x1b[2Jred\\", "Pad", "b lead", "link", "notes.txt", "\xc2\x9b" };
    EXPECT_EQ(display->ItemLabels(PresetList()), listed);
    EXPECT_EQ(display->ViewText(Field("Presets")), "Presets:");
    EXPECT_EQ(display->FieldValue(Field("Presets")), "Presets");
    EXPECT_TRUE(display->IsRadio(PresetList()));
    EXPECT_EQ(display->ViewText(Field("PresetName")), "New Preset Name:");
    EXPECT_EQ(display->FieldValue(Field("PresetName")), "");

    // Both controls sit in the band above the headers, clear of each other.
    const BRect list = display->ViewFrame(Field("Presets"));
    const BRect name = display->ViewFrame(Field("PresetName"));
    EXPECT_GE(list.top, 0);
    EXPECT_LT(list.bottom, 40);
    EXPECT_LT(name.bottom, 40);
    EXPECT_LT(list.right, name.left);
    EXPECT_LE(name.right, 400);
    EXPECT_EQ(output->presetName->Flags(), uint32(B_WILL_DRAW | B_NAVIGABLE));
    EXPECT_EQ(output->presetName->ResizingMode(), 0x1212u);
    ASSERT_STREQ(output->ChildAt(21)->Name(), "Presets");
    EXPECT_EQ(output->ChildAt(21)->Flags(), uint32(B_WILL_DRAW)) << "the list is no Tab stop";
    EXPECT_EQ(output->ChildAt(21)->ResizingMode(), 0x202u);
    EXPECT_EQ(display->ViewFrame(Field("x select")), BRect(10, 100, 190, 130)) << "a panel element moved";
}

TEST_F(PresetTest, AnEmptyFolderIsCreatedWithItsParentsAndListsNothing)
{
    const std::string config = settings.Root() + "/not/yet";
    settings.Use(config);
    CaptureStdout();
    OpenView();
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/Zimbrel2"));
    EXPECT_TRUE(display->ItemLabels(PresetList()).empty());
}

TEST_F(PresetTest, SaveThenLoadRestoresAllSettingsAndThePanelShowsThem)
{
    OpenView();
    ConfigureEverything();
    const PresetMapping saved = Mapping();
    const auto savedPanel = PanelValues();
    ASSERT_EQ(saved.channel, 10);
    ASSERT_TRUE(saved.blue.enabled);

    CaptureStdout();
    ASSERT_TRUE(Save("Live Set"));
    const std::string printed = GetCapturedStdout();
    EXPECT_EQ(printed.substr(0, printed.find('\n') + 1), settings.PresetFolder() + "/Live Set\n");
    EXPECT_NE(printed.find("'bsav'"), std::string::npos) << "the message dump is missing: " << printed;
    EXPECT_EQ(FolderEntries(settings.PresetFolder()), std::vector<std::string> { "Live Set" });
    // The list follows the save at once, and a second save adds nothing.
    EXPECT_EQ(display->ItemLabels(PresetList()), std::vector<std::string> { "Live Set" });
    ASSERT_TRUE(Save("Live Set"));
    ASSERT_TRUE(Save("Another"));
    EXPECT_EQ(display->ItemLabels(PresetList()), (std::vector<std::string> { "Another", "Live Set" }));

    // Change every setting, then load.
    ASSERT_TRUE(Post(BMessage('toff')));
    for (const char* row : kRows) {
        ASSERT_TRUE(Pick(std::string(row) + " select", "3"));
        ASSERT_TRUE(Pick(std::string(row) + " lorange", "64"));
        ASSERT_TRUE(Pick(std::string(row) + " hirange", "65"));
    }
    ASSERT_FALSE(Mapping() == saved);

    CaptureStdout();
    ASSERT_TRUE(Pick("Presets", "Live Set"));
    const std::string loadLines = GetCapturedStdout();
    EXPECT_NE(loadLines.find("'blod'"), std::string::npos) << loadLines;
    EXPECT_EQ(loadLines.find("configed"), std::string::npos) << "a load is no pick in the panel";
    EXPECT_TRUE(Mapping() == saved);
    EXPECT_EQ(PanelValues(), savedPanel);
    EXPECT_EQ(display->FieldValue(Field("PresetName")), "Live Set");
    EXPECT_EQ(display->FieldValue(Field("Presets")), "Live Set");
}

TEST_F(PresetTest, UnsafeOrTooLongNamesAreRefusedWithOneLineAndNothingWritten)
{
    std::filesystem::create_directories(settings.PresetFolder() + "/sub");
    OpenView();
    // The folder with its slash and this name make a path of 256 bytes.
    const std::string tooLong(256 - (settings.PresetFolder().size() + 1), 'n');
    for (const std::string& name : { std::string("."), std::string(".."), std::string("sub/inside"),
             std::string("../outside"), std::string("tab\there"), tooLong, std::string("") }) {
        CaptureStdout();
        CaptureStderr();
        ASSERT_TRUE(Save(name));
        const std::string out = GetCapturedStdout();
        const std::string errors = GetCapturedStderr();
        EXPECT_EQ(CountLines(errors), 1u) << '"' << name << "\": " << errors;
        EXPECT_NE(errors.find("not saved"), std::string::npos) << errors;
        EXPECT_NE(out.find("'bsav'"), std::string::npos) << "the save's own lines stay";
    }
    EXPECT_EQ(FolderEntries(settings.PresetFolder()), std::vector<std::string> { "sub" });
    EXPECT_TRUE(FolderEntries(settings.PresetFolder() + "/sub").empty());
    EXPECT_FALSE(std::filesystem::exists(settings.Root() + "/outside"));
    EXPECT_TRUE(display->ItemLabels(PresetList()).empty()) << "the list changed, or holds a folder";

    // One byte shorter fits exactly into 255 and is saved.
    CaptureStderr();
    ASSERT_TRUE(Save(tooLong.substr(1)));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(FolderEntries(settings.PresetFolder()).size(), 2u);
}

TEST_F(PresetTest, FilesThatAreNoPresetsTakeOnlyTheNameAndSayWhy)
{
    const std::string folder = settings.PresetFolder();
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/foreign") << "some text\n";
    BMessage bare('bsav');
    bare.AddInt64("when", 5);
    const std::vector<char> bareBytes = bare.Flatten();
    std::ofstream(folder + "/no mapping", std::ios::binary)
        .write(bareBytes.data(), std::streamsize(bareBytes.size()));
    PresetMapping other {};
    other.channel = 2;
    other.x = other.y = other.pressure = other.red = other.green = other.blue = cfg { 5, 6, 7, true };
    BMessage full('bsav');
    AddMapping(&full, other);
    const std::vector<char> fullBytes = full.Flatten();
    std::ofstream(folder + "/truncated", std::ios::binary)
        .write(fullBytes.data(), std::streamsize(fullBytes.size() - 3));

    OpenView();
    ConfigureEverything();
    const PresetMapping before = Mapping();
    const auto panelBefore = PanelValues();
    for (const char* name : { "foreign", "no mapping", "truncated" }) {
        CaptureStderr();
        ASSERT_TRUE(Pick("Presets", name)) << name;
        const std::string errors = GetCapturedStderr();
        EXPECT_EQ(CountLines(errors), 1u) << name << ": " << errors;
        EXPECT_NE(errors.find(folder + "/" + name), std::string::npos) << errors;
        EXPECT_EQ(display->FieldValue(Field("PresetName")), name);
        EXPECT_TRUE(Mapping() == before) << name << " changed the mapping";
        EXPECT_EQ(PanelValues(), panelBefore) << name;
    }
}

TEST_F(PresetTest, AFailedSaveSaysWhyAfterItsOwnLines)
{
    OpenView();
    ASSERT_TRUE(Save("Kept"));
    // The folder is replaced by a file: nothing can be written into it.
    const std::string folder = settings.PresetFolder();
    std::filesystem::remove_all(folder);
    std::ofstream(folder) << "in the way\n";

    CaptureStdout();
    CaptureStderr();
    ASSERT_TRUE(Save("Lost"));
    const std::string out = GetCapturedStdout();
    const std::string errors = GetCapturedStderr();
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), folder + "/Lost\n");
    EXPECT_EQ(errors, "Preset not saved to \"" + folder + "/Lost\": " + std::strerror(ENOTDIR) + ".\n");
    EXPECT_EQ(display->ItemLabels(PresetList()), std::vector<std::string> { "Kept" })
        << "a failed save is listed";
}

TEST_F(ShellTest, ALoadedPresetShowsItsChannelInTheMenuAndDrivesTheMidiAtOnce)
{
    PresetMapping mapping {};
    mapping.channel = 6;
    mapping.x = cfg { 74, 127, 0, true };
    mapping.y = mapping.pressure = mapping.red = mapping.green = mapping.blue
        = cfg { kControllerOff, 127, 0, false };
    BMessage save('bsav');
    AddMapping(&save, mapping);
    std::filesystem::create_directories(settings.PresetFolder());
    ASSERT_EQ(WritePreset((settings.PresetFolder() + "/Filter").c_str(), save), 0);

    RecordingConsumer* synth = new RecordingConsumer("synth");
    StartMainWindow();
    PickFromMenuBar("Port", "synth");
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(peer, "Presets")), "Filter"));
    ASSERT_TRUE(display->Settle(peer));

    ASSERT_TRUE(display->OpenMenus(peer));
    EXPECT_EQ(display->MarkedLabels(display->FindMenu(peer, "Channel")), std::vector<std::string> { "7" });
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));

    BMessage cursor('cdat');
    cursor.AddFloat("x", 0.5f);
    mainWindow.SendMessage(&cursor);
    EXPECT_EQ(synth->WaitFor(1), (std::vector<ControlChangeEvent> { { 6, 74, 63 } }));
    synth->Release();
}
