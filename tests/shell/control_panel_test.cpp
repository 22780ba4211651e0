#include "ShellFixture.h"

#include "mapping/ControllerNames.h"
#include "mapping/zbOutput.h"
#include "tests/common/WaitUntil.h"

namespace {

constexpr const char* kRows[] = {"y", "x", "pressure", "red", "green", "blue"};

// The mapping view alone in a window, so that a test can read its records
// once the window has settled.
class ControlPanelTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        BWindow* window = new BWindow(BRect(20, 20, 420, 330), "panel", B_TITLED_WINDOW, 0);
        output = new zbOutput("test");
        window->AddChild(output);
        window->Show();
        panel = display->FindWindow("panel");
        ASSERT_TRUE(display->Settle(panel));
    }

    PeerId Field(const std::string& name) { return display->FindView(panel, name); }


    bool Pick(const std::string& field, const char* label)
    {
        const bool picked = display->Pick(display->FieldMenu(Field(field)), label);
        return display->Settle(panel) && picked;
    }

    std::map<std::string, std::string> AllFieldValues()
    {
        std::map<std::string, std::string> values;
        for (const char* row : kRows)
            for (const char* kind : {" select", " lorange", " hirange"})
                values[std::string(row) + kind] = display->FieldValue(Field(std::string(row) + kind));
        return values;
    }

    zbOutput* output = nullptr;
    PeerId panel = 0;
};

} // namespace

TEST_F(ControlPanelTest, BuildsSixRowsUnderThreeHeadersOnGrey)
{
    EXPECT_EQ(display->ViewColor(Field("test")), (rgb_color{150, 150, 150, 255}));
    EXPECT_EQ(display->ViewText(Field("label chan")), "Message");
    EXPECT_EQ(display->ViewFrame(Field("label chan")), BRect(100, 40, 280, 70));
    EXPECT_EQ(display->ViewText(Field("lable lo")), "Lower Range");
    EXPECT_EQ(display->ViewFrame(Field("lable lo")), BRect(190, 40, 340, 70));
    EXPECT_EQ(display->ViewFrame(Field("lable hi")), BRect(270, 40, 380, 70));
    // The panel's 21 children come first; the two preset controls, the
    // six row settings buttons and the Sending switch follow.
    ASSERT_EQ(output->CountChildren(), 30);
    EXPECT_STREQ(output->ChildAt(20)->Name(), "blue hirange");

    const char* labels[] = {"Vertical", "Horizontal", "Pressure", "Red", "Green", "Blue"};
    for (int row = 0; row < 6; ++row) {
        const float top = 70 + 30 * row;
        const PeerId select = Field(std::string(kRows[row]) + " select");
        EXPECT_EQ(display->ViewText(select), labels[row]);
        EXPECT_EQ(display->ViewFrame(select), BRect(10, top, 190, top + 30));
        const PeerId lower = Field(std::string(kRows[row]) + " lorange");
        EXPECT_EQ(display->ViewFrame(lower), BRect(190, top, 340, top + 30));
        EXPECT_EQ(display->Divider(lower), 0.0f);
        EXPECT_EQ(display->ViewText(lower), "");
        EXPECT_EQ(display->ViewFrame(Field(std::string(kRows[row]) + " hirange")),
                  BRect(270, top, 380, top + 30));
        // 22 x 22, centred at x = 367 on the row's line.
        const PeerId button = Field(std::string(kRows[row]) + " settings");
        EXPECT_EQ(display->ViewFrame(button), BRect(356, top + 4, 378, top + 26));
        EXPECT_EQ(display->ViewText(button), "\u2026");
    }
}

TEST_F(ControlPanelTest, ARowButtonOpensItsSettingsWindowOnOutputAndItsChangesReachTheRow)
{
    ASSERT_TRUE(display->Press(Field("pressure settings")));
    ASSERT_TRUE(display->Settle(panel));
    const PeerId settings = display->FindWindow("Zimbrel \u2014 Pressure settings");
    ASSERT_NE(settings, 0u);
    ASSERT_TRUE(display->Settle(settings));
    EXPECT_TRUE(display->IsShown(settings));
    EXPECT_GT(display->WindowFrame(settings).left, display->WindowFrame(panel).right) << "over the main window";
    EXPECT_NE(display->WindowFlags(settings) & B_CLOSE_ON_ESCAPE, 0u);
    const PeerId outputField = display->FindView(settings, "output");
    EXPECT_EQ(display->FocusedView(settings), outputField);
    EXPECT_EQ(display->ItemLabels(display->FieldMenu(outputField)),
        (std::vector<std::string> { "Control Change", "Control Change, 14-bit", "NRPN, 14-bit", "Pitch Bend",
            "Channel Pressure" }));
    EXPECT_EQ(display->FieldValue(outputField), "Control Change");
    EXPECT_EQ(display->ViewText(display->FindView(settings, "note")),
        "This row is off: choose a Message in the panel.");
    // A second press opens no second window: it brings the first forward.
    ASSERT_TRUE(display->Press(Field("pressure settings")));
    ASSERT_TRUE(display->Settle(panel));
    ASSERT_TRUE(display->Settle(settings));
    EXPECT_EQ(display->CountWindows("Zimbrel \u2014 Pressure settings"), 1);
    EXPECT_EQ(display->Activations(settings), 1);

    // Choices apply at once; a controller above 31 is told why it stays 7-bit.
    ASSERT_TRUE(Pick("pressure select", "64 Damper Pedal (sustain)"));
    ASSERT_TRUE(display->Pick(display->FieldMenu(outputField), "Control Change, 14-bit"));
    ASSERT_TRUE(display->Settle(settings));
    ASSERT_TRUE(display->Settle(panel));
    ASSERT_TRUE(display->Settle(settings));
    EXPECT_EQ(output->outputs[2].kind, OutputKind::ControlChange14);
    EXPECT_EQ(display->ViewText(display->FindView(settings, "note")),
        "Controller 64 has no 14-bit pair: 7 bits sent.");
    const PeerId plot = display->FindView(settings, "curve plot");
    ASSERT_TRUE(display->Pick(display->FieldMenu(display->FindView(settings, "curve")), "Exponential"));
    ASSERT_TRUE(display->TypeText(display->FindView(settings, "threshold"), "10"));
    ASSERT_TRUE(display->Settle(settings));
    ASSERT_TRUE(display->Settle(panel));
    ASSERT_TRUE(display->Settle(settings));
    EXPECT_EQ(output->outputs[2].curve, CurveKind::Exponential);
    EXPECT_EQ(output->outputs[2].threshold, 10);
    const std::vector<BPoint> line = display->PlotPoints(plot);
    ASSERT_EQ(line.size(), 65u);
    EXPECT_EQ(line.back(), BPoint(1, 1));
    EXPECT_EQ(line[6].y, 0.0f); // below the threshold
    EXPECT_LT(line[32].y, 0.5f);
    // The row's input is marked on the plot, whether the row sends or not.
    BMessage cursor('cdat');
    cursor.AddFloat("pressure", 0.5f);
    output->Window()->PostMessage(&cursor, output);
    ASSERT_TRUE(display->Settle(panel));
    EXPECT_EQ(display->MeterLevel(plot), 8191);

    // Text that is no setting is refused, says so, and changes nothing.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(display->TypeText(display->FindView(settings, "smoothing"), "3"));
    ASSERT_TRUE(display->Settle(settings));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("\"3\" not taken"), std::string::npos);
    EXPECT_EQ(display->ViewText(display->FindView(settings, "note")),
        "\"3\" not taken: a whole number, 0 to 1000 ms, not 1 to 4.");
    EXPECT_EQ(display->FieldValue(display->FindView(settings, "smoothing")), "0");
    ASSERT_TRUE(display->Settle(panel));
    EXPECT_EQ(output->outputs[2].smoothing, 0);

    // The switch is one for the whole program.
    ASSERT_TRUE(display->Press(display->FindView(settings, "solo")));
    ASSERT_TRUE(display->Settle(settings));
    ASSERT_TRUE(display->Settle(panel));
    EXPECT_EQ(output->soloRow, 2);

    display->PressCloseBox(settings);
    ASSERT_TRUE(WaitUntil([&] { return !display->IsShown(settings); }, kShellPatience));
    ASSERT_TRUE(display->Settle(panel));
    ASSERT_TRUE(display->Press(Field("pressure settings")));
    ASSERT_TRUE(display->Settle(panel));
    const PeerId again = display->FindWindow("Zimbrel \u2014 Pressure settings");
    ASSERT_NE(again, 0u);
    ASSERT_TRUE(display->Settle(again));
    EXPECT_EQ(display->FieldValue(display->FindView(again, "curve")), "Exponential");
}

TEST_F(ControlPanelTest, FieldsStartWithTheMenuTitles)
{
    for (const auto& [name, value] : AllFieldValues()) {
        const char* expected = name.ends_with("select") ? "off" : name.ends_with("lorange") ? "0" : "127";
        EXPECT_EQ(value, expected) << name;
    }
}

TEST_F(ControlPanelTest, MenusOfferEveryControllerAndEveryRangeValue)
{
    const std::vector<std::string> controllers = display->ItemLabels(display->FieldMenu(Field("x select")));
    ASSERT_EQ(controllers.size(), 129u);
    EXPECT_EQ(controllers.front(), "0 Bank Select");
    EXPECT_EQ(controllers[7], "7  Channel Volume");
    EXPECT_EQ(controllers[64], "64 Damper Pedal (sustain)");
    EXPECT_EQ(controllers[127], "127 Reserved For Channel Mode Messages");
    EXPECT_EQ(controllers.back(), "off");
    for (int value = 0; value <= 128; ++value)
        EXPECT_EQ(controllers[size_t(value)], kControllerNames[value]);

    const std::vector<std::string> ranges = display->ItemLabels(display->FieldMenu(Field("red hirange")));
    ASSERT_EQ(ranges.size(), 128u);
    for (int value = 0; value < 128; ++value)
        EXPECT_EQ(ranges[size_t(value)], std::to_string(value));
    EXPECT_TRUE(display->IsRadio(display->FieldMenu(Field("blue lorange"))));
    EXPECT_TRUE(display->MarkedLabels(display->FieldMenu(Field("blue lorange"))).empty());
}

TEST_F(ControlPanelTest, PicksConfigureTheirOwnRecordOnly)
{
    ASSERT_TRUE(Pick("x select", "0 Bank Select"));
    EXPECT_TRUE(output->x.enabled);
    EXPECT_EQ(output->x.controller, 0);
    EXPECT_EQ(output->x.lorange, 0);
    EXPECT_EQ(output->x.hirange, 127);

    ASSERT_TRUE(Pick("y lorange", "127"));
    EXPECT_EQ(output->y.lorange, 127);
    EXPECT_EQ(output->y.hirange, 127);
    EXPECT_EQ(output->y.controller, kControllerOff);
    ASSERT_TRUE(Pick("y hirange", "0"));
    EXPECT_EQ(output->y.hirange, 0);
    EXPECT_EQ(output->y.lorange, 127);

    ASSERT_TRUE(Pick("pressure select", "off"));
    EXPECT_FALSE(output->pressure.enabled);
    EXPECT_EQ(output->pressure.controller, kControllerOff);
    for (const cfg* untouched : {&output->red, &output->green, &output->blue})
        EXPECT_FALSE(untouched->enabled);
}

TEST_F(ControlPanelTest, FieldShowsThePickAndTheMarkMoves)
{
    const auto before = AllFieldValues();
    ASSERT_TRUE(Pick("pressure select", "7  Channel Volume"));
    EXPECT_EQ(display->FieldValue(Field("pressure select")), "7  Channel Volume");
    ASSERT_TRUE(Pick("pressure select", "64 Damper Pedal (sustain)"));
    EXPECT_EQ(display->FieldValue(Field("pressure select")), "64 Damper Pedal (sustain)");
    EXPECT_EQ(display->MarkedLabels(display->FieldMenu(Field("pressure select"))),
              std::vector<std::string>{"64 Damper Pedal (sustain)"});
    ASSERT_TRUE(Pick("pressure lorange", "12"));

    auto after = AllFieldValues();
    after["pressure select"] = before.at("pressure select");
    after["pressure lorange"] = before.at("pressure lorange");
    EXPECT_EQ(after, before) << "a pick changed another field";
}
