// Menus, menu bars, menu fields and invokers on the headless display, driven
// as the user drives them: opening the menu bar runs MenusBeginning first,
// picks mark and invoke, closing runs MenusEnded after the pick arrived.

#include "HeadlessFixture.h"

#include "platform/interface/MenuBar.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/PopUpMenu.h"

#include <cstdio>

namespace {

constexpr uint32 kChannel = 'vCCH';
constexpr uint32 kChannelOff = 'toff';
constexpr uint32 kPortSelect = 'vCMP';
constexpr uint32 kConfigureX = 'vCXA';

// A view with one controller field and one range field, whose items are
// addressed to the view itself, as the control panel's are.
class PanelView : public BView {
public:
    PanelView(EventLog& log)
        : BView(BRect(0, 20, 400, 320), "panel", B_FOLLOW_LEFT, B_WILL_DRAW)
        , fLog(log)
    {
    }

    void AttachedToWindow() override
    {
        SetViewColor(150, 150, 150);
        auto* controllers = new BPopUpMenu("off");
        for (const auto& [label, value] :
            { std::pair { "0 Bank Select", 0 }, { "7  Channel Volume", 7 }, { "off", 128 } }) {
            auto* message = new BMessage(kConfigureX);
            message->AddInt16("message", int16(value));
            controllers->AddItem(new BMenuItem(label, message));
        }
        controllers->SetTargetForItems(this);
        controllerField = new BMenuField(
            BRect(10, 70, 190, 100), "x select", "Horizontal", controllers, B_FOLLOW_LEFT, B_WILL_DRAW);
        AddChild(controllerField);

        auto* lower = new BPopUpMenu("0");
        for (int value = 0; value < 128; ++value) {
            char label[8];
            std::snprintf(label, sizeof label, "%i", value);
            auto* message = new BMessage(kConfigureX);
            message->AddInt16("lorange", int16(value));
            lower->AddItem(new BMenuItem(label, message));
        }
        lower->SetTargetForItems(this);
        rangeField
            = new BMenuField(BRect(190, 70, 340, 100), "x lorange", "", lower, B_FOLLOW_LEFT, B_WILL_DRAW);
        rangeField->SetDivider(0);
        AddChild(rangeField);
    }

    void MessageReceived(BMessage* message) override
    {
        fLog.Add(std::string("panel got ") + RecordingWindow::Code(message->what)
            + (Looper()->IsLooperThread() ? "" : " ON ANOTHER THREAD"));
        received.push_back(*message);
    }

    BMenuField* controllerField = nullptr;
    BMenuField* rangeField = nullptr;
    std::vector<BMessage> received;

private:
    EventLog& fLog;
};

// The main window's menus: File, a radio Channel menu and a Port menu that
// is filled on every opening and emptied when the menus close.
class MenuWindow : public RecordingWindow {
public:
    MenuWindow(EventLog& log, std::vector<std::string> consumers, std::string connected)
        : RecordingWindow(log, "menus")
        , fConsumers(std::move(consumers))
        , fConnected(std::move(connected))
    {
        menuBar = new BMenuBar(Bounds(), "Zimbrel Menu Bar");
        auto* file = new BMenu("File");
        file->AddItem(new BMenuItem("About", new BMessage(B_ABOUT_REQUESTED)));
        menuBar->AddItem(file);

        channelMenu = new BMenu("Channel");
        auto* off = new BMenuItem("Off", new BMessage(kChannelOff));
        off->SetMarked(true);
        channelMenu->AddItem(off);
        for (int n = 1; n <= 16; ++n) {
            auto* message = new BMessage(kChannel);
            message->AddInt16("channel", int16(n));
            channelMenu->AddItem(new BMenuItem(std::to_string(n).c_str(), message));
        }
        channelMenu->SetRadioMode(true);
        menuBar->AddItem(channelMenu);

        portMenu = new BMenu("Port");
        menuBar->AddItem(portMenu);
        AddChild(menuBar);
        panel = new PanelView(log);
        AddChild(panel);
    }

    void MenusBeginning() override
    {
        RecordingWindow::MenusBeginning();
        for (size_t i = 0; i < fConsumers.size(); ++i) {
            auto* message = new BMessage(kPortSelect);
            message->AddInt32("portselect", int32(100 + i));
            auto* item = new BMenuItem(fConsumers[i].c_str(), message);
            portMenu->AddItem(item);
            if (fConsumers[i] == fConnected)
                item->SetMarked(true);
        }
    }

    void MenusEnded() override
    {
        RecordingWindow::MenusEnded();
        for (int32 i = portMenu->CountItems() - 1; i >= 0; --i)
            delete portMenu->RemoveItem(i);
    }

    BMenuBar* menuBar;
    BMenu* channelMenu;
    BMenu* portMenu;
    PanelView* panel;

private:
    std::vector<std::string> fConsumers;
    std::string fConnected;
};

// A looper of its own, to check where targeted invocations are handled.
class ReceivingLooper : public BLooper {
public:
    explicit ReceivingLooper(EventLog& log)
        : BLooper("receiver")
        , fLog(log)
    {
    }
    void MessageReceived(BMessage* message) override
    {
        const std::string value
            = message->HasInt32("value") ? " value=" + std::to_string(message->FindInt32("value")) : "";
        fLog.Add(std::string("receiver got ") + RecordingWindow::Code(message->what) + value
            + (IsLooperThread() ? " on its thread" : " ON ANOTHER THREAD"));
    }

private:
    EventLog& fLog;
};

size_t IndexOf(const std::vector<std::string>& entries, const std::string& entry)
{
    return size_t(std::find(entries.begin(), entries.end(), entry) - entries.begin());
}

class MenuTest : public HeadlessTest {
protected:
    MenuWindow* StartMenuWindow(std::vector<std::string> consumers = {}, std::string connected = "")
    {
        auto* window = new MenuWindow(log, std::move(consumers), std::move(connected));
        window->Show();
        peer = display->FindWindow("menus");
        channel = display->FindMenu(peer, "Channel");
        port = display->FindMenu(peer, "Port");
        return window;
    }

    PeerId peer = 0;
    PeerId channel = 0;
    PeerId port = 0;
};

TEST_F(MenuTest, MenusBeginningFillsThePortMenuBeforeItIsShownAndAPickArrivesBeforeMenusEnded)
{
    MenuWindow* window = StartMenuWindow({ "Synth A", "Synth B" }, "Synth B");

    for (int opening = 0; opening < 3; ++opening) {
        log.Clear();
        ASSERT_TRUE(display->OpenMenus(peer));
        // No settling here: what OpenMenus waited for is all there is.
        EXPECT_EQ(display->ItemLabels(port), (std::vector<std::string> { "Synth A", "Synth B" }))
            << "opening " << opening << " shows stale or missing items";
        EXPECT_EQ(display->MarkedLabels(port), std::vector<std::string> { "Synth B" });

        ASSERT_TRUE(display->Pick(port, "Synth A"));
        display->CloseMenus(peer);
        ASSERT_TRUE(display->Settle(peer));

        const auto entries = log.Entries();
        const size_t beginning = IndexOf(entries, "MenusBeginning");
        const size_t pick = IndexOf(entries, "message vCMP on window thread");
        const size_t ended = IndexOf(entries, "MenusEnded");
        ASSERT_LT(ended, entries.size());
        EXPECT_LT(beginning, pick);
        EXPECT_LT(pick, ended) << "MenusEnded deleted the item before its pick was delivered";
        EXPECT_TRUE(display->ItemLabels(port).empty());
    }
    EXPECT_EQ(window->portMenu->CountItems(), 0);
    ASSERT_EQ(window->received.size(), 3u);
    EXPECT_EQ(window->received.back().FindInt32("portselect"), 100);
    EXPECT_EQ(display->MarkedLabels(port).size(), 0u);

    Close(peer);
}

TEST_F(MenuTest, PickingInARadioMenuMovesTheOnlyMark)
{
    MenuWindow* window = StartMenuWindow();
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string> { "Off" });
    EXPECT_TRUE(display->IsRadio(channel));

    ASSERT_TRUE(display->OpenMenus(peer));
    ASSERT_TRUE(display->Pick(channel, "5"));
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string> { "5" });
    EXPECT_STREQ(window->channelMenu->FindMarked()->Label(), "5");
    ASSERT_EQ(window->received.size(), 1u);
    EXPECT_EQ(window->received[0].what, kChannel);
    EXPECT_EQ(window->received[0].FindInt16("channel"), 5);

    ASSERT_TRUE(display->OpenMenus(peer));
    ASSERT_TRUE(display->Pick(channel, "Off"));
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string> { "Off" });
    ASSERT_EQ(window->received.size(), 2u);
    EXPECT_EQ(window->received[1].what, kChannelOff);
    EXPECT_TRUE(window->received[1].HasData("when", B_INT64_TYPE));
    EXPECT_FALSE(window->channelMenu->ItemAt(0)->Message()->HasData("when", B_INT64_TYPE))
        << "the item's own message must stay as the program made it";

    Close(peer);
}

TEST_F(MenuTest, MarksInANonRadioMenuAreTheProgramsAndAPickDoesNotSetThem)
{
    StartMenuWindow({ "A", "B", "C" }, "B");
    ASSERT_TRUE(display->OpenMenus(peer));
    ASSERT_TRUE(display->Pick(port, "C"));
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->MarkedLabels(port), std::vector<std::string> { "B" });
    display->CloseMenus(peer);
    Close(peer);
}

TEST_F(MenuTest, MenuBarMenusCanOnlyBePickedWhileOpenAndDisabledItemsNever)
{
    MenuWindow* window = StartMenuWindow();
    EXPECT_FALSE(display->Pick(channel, "5")) << "a closed menu cannot be picked from";
    window->RunTask([window] { window->channelMenu->ItemAt(3)->SetEnabled(false); });
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_FALSE(display->ItemEnabled(channel, "3"));

    ASSERT_TRUE(display->OpenMenus(peer));
    EXPECT_FALSE(display->Pick(channel, "3"));
    EXPECT_FALSE(display->Pick(channel, "no such item"));
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_TRUE(window->received.empty());
    EXPECT_EQ(display->MarkedLabels(channel), std::vector<std::string> { "Off" });
    Close(peer);
}

TEST_F(MenuTest, ABusyWindowDoesNotHoldTheMenusOpeningForever)
{
    Latch latch;
    auto* window = new MenuWindow(log, { "Late" }, "");
    window->onMenusBeginning = [&latch] { latch.Wait(); };
    window->Show();
    peer = display->FindWindow("menus");
    port = display->FindMenu(peer, "Port");

    EXPECT_FALSE(display->OpenMenus(peer)) << "the wait for MenusBeginning must be bounded";
    latch.Open();
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->ItemLabels(port), std::vector<std::string> { "Late" }) << "late items still arrive";
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_TRUE(display->ItemLabels(port).empty());
    Close(peer);
}

TEST_F(MenuTest, APickOfAnItemRemovedMeanwhileIsDropped)
{
    MenuWindow* window = StartMenuWindow({ "Vanishing" });
    ASSERT_TRUE(display->OpenMenus(peer));
    Latch latch;
    window->RunTask([&latch] { latch.Wait(); });
    window->RunTask([window] { delete window->portMenu->RemoveItem(int32(0)); });
    ASSERT_TRUE(display->Pick(port, "Vanishing"));
    latch.Open();
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_TRUE(window->received.empty());
    Close(peer);
}

TEST_F(MenuTest, AMenuFieldShowsItsTitleThenTheMarkedLabelAndDeliversToItsTarget)
{
    MenuWindow* window = StartMenuWindow();
    const PeerId field = display->FindView(peer, "x select");
    const PeerId range = display->FindView(peer, "x lorange");
    const PeerId controllers = display->FieldMenu(field);
    ASSERT_NE(controllers, 0u);

    EXPECT_EQ(display->FieldValue(field), "off");
    EXPECT_EQ(display->FieldValue(range), "0");
    EXPECT_EQ(display->ViewText(field), "Horizontal");
    EXPECT_STREQ(window->panel->controllerField->MenuItem()->Label(), "off");
    EXPECT_FLOAT_EQ(display->Divider(field), 90) << "a labelled field splits in the middle by default";
    EXPECT_FLOAT_EQ(display->Divider(range), 0);
    EXPECT_EQ(display->ItemLabels(display->FieldMenu(range)).size(), 128u);
    EXPECT_EQ(display->ViewColor(field), (rgb_color { 150, 150, 150, 255 }));

    // A pop-up of a menu field needs no menu bar session.
    ASSERT_TRUE(display->Pick(controllers, "7  Channel Volume"));
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->FieldValue(field), "7  Channel Volume");
    EXPECT_EQ(display->FieldValue(range), "0") << "fields of one row are independent";
    EXPECT_STREQ(window->panel->controllerField->MenuItem()->Label(), "7  Channel Volume");
    ASSERT_EQ(window->panel->received.size(), 1u);
    EXPECT_TRUE(window->received.empty()) << "a targeted item went to the window";
    const BMessage& picked = window->panel->received[0];
    EXPECT_EQ(picked.what, kConfigureX);
    EXPECT_EQ(picked.FindInt16("message"), 7);
    EXPECT_FALSE(picked.HasInt16("lorange"));
    EXPECT_EQ(picked.FindInt32("index"), 1);

    ASSERT_TRUE(display->Pick(controllers, "off"));
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->FieldValue(field), "off");
    EXPECT_EQ(display->MarkedLabels(controllers), std::vector<std::string> { "off" });
    EXPECT_EQ(window->panel->received.back().FindInt16("message"), 128);
    const auto entries = log.Entries();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "panel got vCXA"), 2);

    Close(peer);
}

TEST_F(MenuTest, AMenuBarEntryFollowsTheMarkOfASubmenuThatTakesItsLabelFromIt)
{
    auto* window = new RecordingWindow(log, "modes");
    auto* bar = new BMenuBar(window->Bounds(), "bar");
    auto* modes = new BPopUpMenu("Mode");
    modes->AddItem(new BMenuItem("Fast", new BMessage('fast')));
    modes->AddItem(new BMenuItem("Slow", new BMessage('slow')));
    bar->AddItem(modes);
    window->AddChild(bar);
    EXPECT_EQ(bar->Frame(), BRect(0, 0, 400, 19)) << "a bar that fits is 20 units tall";
    window->Show();
    peer = display->FindWindow("modes");
    const PeerId barPeer = display->FindView(peer, "bar");
    EXPECT_EQ(display->ItemLabels(barPeer), std::vector<std::string> { "Mode" });

    ASSERT_TRUE(display->OpenMenus(peer));
    ASSERT_TRUE(display->Pick(display->FindMenu(peer, "Mode"), "Slow"));
    display->CloseMenus(peer);
    ASSERT_TRUE(display->Settle(peer));
    EXPECT_EQ(display->ItemLabels(barPeer), std::vector<std::string> { "Slow" });
    Close(peer);
}

TEST_F(MenuTest, InvokingSendsACopyToTheTargetsLooperThread)
{
    auto* receiver = new ReceivingLooper(log);
    receiver->Run();

    auto* model = new BMessage('helo');
    model->AddInt32("value", 42);
    BMenuItem item("Hello", model);
    EXPECT_EQ(item.Invoke(), B_BAD_PORT_ID) << "an item in no window has nowhere to go";
    EXPECT_EQ(item.SetTarget(receiver), B_OK);
    EXPECT_EQ(item.Command(), uint32('helo'));
    EXPECT_EQ(item.Invoke(), B_OK);
    ASSERT_TRUE(log.WaitFor("receiver got helo value=42 on its thread"));

    BHandler loose("loose");
    EXPECT_EQ(item.SetTarget(&loose), B_BAD_HANDLER) << "a handler in no looper cannot be a target";
    EXPECT_EQ(item.Invoke(), B_BAD_PORT_ID);

    BMenuItem empty("Empty", nullptr);
    empty.SetTarget(receiver);
    EXPECT_EQ(empty.Invoke(), B_BAD_VALUE);
    EXPECT_EQ(empty.Command(), 0u);

    BMessage other('othr');
    EXPECT_EQ(empty.Invoke(&other), B_OK);
    ASSERT_TRUE(log.WaitFor("receiver got othr on its thread"));

    BMenu menu("targets");
    menu.AddItem(new BMenuItem("one", new BMessage('one ')));
    menu.AddItem(new BMenuItem("two", new BMessage('two ')));
    EXPECT_EQ(menu.SetTargetForItems(BMessenger(receiver)), B_OK);
    menu.ItemAt(1)->Invoke();
    ASSERT_TRUE(log.WaitFor("receiver got two  on its thread"));

    receiver->PostMessage(B_QUIT_REQUESTED);
    EXPECT_TRUE(BLooper::WaitForOtherLoopers(nullptr, kPatience));
    // The receiver is gone, so the copies it kept are checked from the log.
    const auto entries = log.Entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                  [](const std::string& e) { return e.find("ANOTHER THREAD") != std::string::npos; }),
        0);
}

TEST_F(MenuTest, TheCopyCarriesTheModelAsItWasWhenInvoked)
{
    auto* receiver = new ReceivingLooper(log);
    auto* model = new BMessage('snap');
    model->AddInt32("value", 42);
    BMenuItem item("Snap", model);
    ASSERT_EQ(item.SetTarget(receiver), B_OK);
    // Queued while the receiver does not run yet, so it can only see the
    // model's later change if the invocation shared the model.
    ASSERT_EQ(item.Invoke(), B_OK);
    model->ReplaceInt32("value", 7);
    receiver->Run();
    EXPECT_TRUE(log.WaitFor("receiver got snap value=42 on its thread"));
    receiver->PostMessage(B_QUIT_REQUESTED);
}

TEST_F(MenuTest, AddingAndRemovingItemsKeepsOwnershipAndOrder)
{
    auto* window = new RecordingWindow(log, "editing");
    auto* bar = new BMenuBar(window->Bounds(), "bar");
    auto* menu = new BMenu("Edit");
    bar->AddItem(menu);
    window->AddChild(bar);
    peer = display->FindWindow("editing");
    const PeerId edit = display->FindMenu(peer, "Edit");

    auto* first = new BMenuItem("first", nullptr);
    auto* third = new BMenuItem("third", nullptr);
    auto* second = new BMenuItem("second", nullptr);
    EXPECT_TRUE(menu->AddItem(first));
    EXPECT_TRUE(menu->AddItem(third));
    EXPECT_TRUE(menu->AddItem(second, 1));
    EXPECT_FALSE(menu->AddItem(second)) << "an item belongs to one menu";
    auto far = std::make_unique<BMenuItem>("far", nullptr); // a refused item stays the caller's
    EXPECT_FALSE(menu->AddItem(far.get(), 9)) << "past the end";
    EXPECT_FALSE(menu->AddItem(static_cast<BMenuItem*>(nullptr)));
    EXPECT_EQ(display->ItemLabels(edit), (std::vector<std::string> { "first", "second", "third" }));
    EXPECT_EQ(first->Menu(), menu);

    EXPECT_EQ(menu->RemoveItem(int32(3)), nullptr);
    EXPECT_EQ(menu->RemoveItem(int32(-1)), nullptr);
    BMenuItem* removed = menu->RemoveItem(int32(1));
    EXPECT_EQ(removed, second);
    EXPECT_EQ(removed->Menu(), nullptr);
    EXPECT_EQ(display->ItemLabels(edit), (std::vector<std::string> { "first", "third" }));
    EXPECT_FALSE(menu->RemoveItem(removed)) << "no longer in the menu";
    delete removed;

    delete third; // an item deleted while in a menu leaves it first
    EXPECT_EQ(menu->CountItems(), 1);
    EXPECT_EQ(display->ItemLabels(edit), std::vector<std::string> { "first" });

    window->Show();
    Close(peer);
}

} // namespace
