#include "app/zbWindow.h"

#include "app/aboutWindow.h"
#include "midi/zbFootswitchWindow.h"
#include "platform/app/AppDefs.h"
#include "platform/app/Application.h"
#include "platform/input/InputServices.h"
#include "platform/input/PointerService.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/Screen.h"
#include "platform/midi/MidiConsumer.h"
#include "platform/midi/MidiRoster.h"

#include <cstdio>

namespace {

// Asks the desktop again to share the screen.
constexpr uint32 kFollowWholeScreen = 'fWHS';

// The line under the panel that says, on a Wayland desktop, whether the
// whole screen can be followed; the window grows by it only there.
constexpr float kNoticeHeight = 32;
// Below the panel, which reaches 10 pixels past the window's own height.
constexpr BRect kNoticeLine(10, 12, 390, 30);

bool NoticeApplies()
{
    return !BScreen(B_MAIN_SCREEN_ID).IsWholeDesktop() || PointerService::Instance().AsksConsent();
}

BRect WithNotice(BRect frame)
{
    if (NoticeApplies())
        frame.bottom += kNoticeHeight;
    return frame;
}

} // namespace

zbWindow::zbWindow(BRect frame, const char* title, const StartOptions& options)
    : BWindow(WithNotice(frame), title, B_TITLED_WINDOW, B_NOT_ZOOMABLE | B_ASYNCHRONOUS_CONTROLS,
        B_CURRENT_WORKSPACE)
{
    // The name its thread shows in `top -H`.
    SetName("window");
    menuBar = new BMenuBar(
        Bounds(), "Zimbrel Menu Bar", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP, B_ITEMS_IN_ROW, true);

    BMenu* fileMenu = new BMenu("File", B_ITEMS_IN_COLUMN);
    fileMenu->AddItem(new BMenuItem("About", new BMessage(B_ABOUT_REQUESTED), 0, 0));
    menuBar->AddItem(fileMenu);

    channelMenu = new BMenu("Channel", B_ITEMS_IN_COLUMN);
    BMenuItem* off = new BMenuItem("Off", new BMessage('toff'), 0, 0);
    off->SetMarked(true);
    channelMenu->AddItem(off);
    char label[8];
    for (int16 n = 1; n <= 16; ++n) {
        std::snprintf(label, sizeof label, "%d", n);
        BMenuItem* item = new BMenuItem(label, new BMessage('vCCH'), 0, 0);
        item->Message()->AddInt16("channel", n);
        channelMenu->AddItem(item);
    }
    channelMenu->SetRadioMode(true);
    menuBar->AddItem(channelMenu);

    portMenu = new BMenu("Port", B_ITEMS_IN_COLUMN);
    menuBar->AddItem(portMenu);

    BMenu* canvasMenu = new BMenu("Canvas", B_ITEMS_IN_COLUMN);
    canvasMenu->AddItem(new BMenuItem("Open Picture\u2026", new BMessage(kCanvasChoose), 'O', 0));
    canvasMenu->AddItem(new BMenuItem("Paste Picture", new BMessage(kCanvasPaste), 'V', 0));
    canvasMenu->AddItem(new BMenuItem("Full Screen", new BMessage(kCanvasFullScreen), B_F11_KEY, 0));
    // Only the desktop's screen sharing, once refused or stopped, is asked for again.
    followItem = new BMenuItem("Follow the Whole Screen\u2026", new BMessage(kFollowWholeScreen), 0, 0);
    followItem->SetEnabled(false);
    canvasMenu->AddItem(followItem);
    menuBar->AddItem(canvasMenu);

    BMenu* sendingMenu = new BMenu("Sending", B_ITEMS_IN_COLUMN);
    sendingItem = new BMenuItem("Sending", new BMessage(kToggleSending), B_PAUSE_KEY, 0);
    sendingMenu->AddItem(sendingItem);
    const char* const playLabels[] = { "Play Always", "Play While a Button or the Pen Is Down", "Play While Pause Is Held" };
    for (int32 mode = 0; mode < 3; ++mode) {
        BMessage* choice = new BMessage(kChoosePlayMode);
        choice->AddInt32("mode", mode);
        playItems[mode] = new BMenuItem(playLabels[mode], choice, 0, 0);
        sendingMenu->AddItem(playItems[mode]);
    }
    const char* const playerLabels[] = { "Every Pointer Plays", "Only Pens and Erasers Play" };
    for (int32 players = 0; players < 2; ++players) {
        BMessage* choice = new BMessage(kChoosePlayers);
        PlayerChoice { Players(players), "" }.AddTo(choice);
        playerItems[players] = new BMenuItem(playerLabels[players], choice, 0, 0);
        sendingMenu->AddItem(playerItems[players]);
    }
    deviceMenu = new BMenu("Only One Device Plays", B_ITEMS_IN_COLUMN);
    sendingMenu->AddItem(deviceMenu);
    sendingMenu->AddItem(new BMenuItem("Footswitch…", new BMessage(kOpenFootswitch), 0, 0));
    menuBar->AddItem(sendingMenu);

    AddChild(menuBar);

    output = new zbOutput("test");
    AddChild(output);
    if (NoticeApplies()) {
        notice = new waylandNotice(kNoticeLine.OffsetByCopy(0, frame.Height()), kCanvasChoose,
            PointerService::Instance().AsksConsent());
        AddChild(notice);
    }
    if (!options.preset.empty())
        output->ChoosePreset(options.preset);
    footswitch = LoadFootswitch();
    remote = new zbRemote(BMessenger(this));
    TellFootswitch();

    VCursorRelay* cursorRelay = new VCursorRelay(this);
    relay = BMessenger(cursorRelay);
    cursorRelay->Hide();
    cursorRelay->Show();
    if (options.session) {
        session = new zbSession(options.session, this, output);
        AddHandler(session);
        const BMessenger sessionTarget(session, this);
        options.session->SetTarget(sessionTarget);
        sessionTarget.SendMessage(&options.sessionOpen);
    }
    // Without the key for the whole desktop it cannot be held anywhere.
    pauseKey = InputServices::GrabPauseKey(BMessenger(this));
    playItems[int(PlayMode::WhilePauseHeld)]->SetEnabled(pauseKey != nullptr);
    const CanvasState fresh;
    canvas = BMessenger(
        new VCanvas(this, relay, options.canvasPicture, true, Frame(), session != nullptr ? &fresh : nullptr));
}

void zbWindow::RestoreCanvas(const CanvasState& state)
{
    // Gone without telling its settings, as the program's quit would take it.
    BMessage quit(B_QUIT_REQUESTED);
    quit.AddBool(B_APPLICATION_QUITTING, true);
    canvas.SendMessage(&quit);
    canvas = BMessenger(new VCanvas(this, relay, "", true, Frame(), &state));
    TellPlayers(canvas);
}

zbWindow::~zbWindow()
{
    remote->Release();
    if (session != nullptr) {
        RemoveHandler(session);
        delete session;
    }
}

void zbWindow::TellPlayers(const BMessenger& player) const
{
    BMessage choice(kChoosePlayers);
    output->Players().AddTo(&choice);
    player.SendMessage(&choice);
}

void zbWindow::ChoosePlayers(const BMessage& choice)
{
    PlayerChoice players;
    std::string why;
    if (PlayerChoice::Find(choice, &players, &why) != B_OK)
        return;
    output->SetPlayers(players);
    if (players.players == Players::NamedDevice && !PointerService::Instance().TellsDevicesApart())
        std::fprintf(stderr, "zimbrel: no devices are told apart here, so every pointer plays\n");
    TellPlayers(relay);
    TellPlayers(canvas);
}

BMessenger zbWindow::Canvas()
{
    // A canvas closed with its close box is gone; a new one opens what the
    // user asks for next.
    if (!canvas.IsValid()) {
        canvas = BMessenger(new VCanvas(this, relay, "", false, Frame(), session != nullptr ? &session->CanvasSettings() : nullptr));
        TellPlayers(canvas);
    }
    return canvas;
}

void zbWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
    // Under a session manager the manager ends the program; the close box
    // only puts the windows away.
    if (message->what == B_QUIT_REQUESTED && session != nullptr && !message->FindBool(B_APPLICATION_QUITTING)) {
        session->HideWindows();
        return;
    }
    BWindow::DispatchMessage(message, handler);
}

void zbWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case B_ABOUT_REQUESTED: {
        aboutWindow* about = new aboutWindow(BRect(200, 200, 450, 300), "about");
        if (const BScreen screen; screen.IsValid() && IsPlaced())
            about->MoveTo(screen.PlaceBeside(about->Frame(), Frame()));
        about->Show();
        break;
    }
    case 'cdat':
    case 'toff':
    case 'vCCH':
    case 'vCMP':
    case kToggleSending:
    case kChoosePlayMode: output->MessageReceived(message); break;
    case kChoosePlayers: ChoosePlayers(*message); break;
    case kGlobalKeyPressed:
    case kGlobalKeyReleased: output->PauseKey(message->what == kGlobalKeyPressed); break;
    case kPointerServiceStatus: {
        const int32 state = message->FindInt32("state");
        followItem->SetEnabled(state == kPointerRefused || state == kPointerEnded);
        if (notice != nullptr)
            notice->SetText(message->FindString("text"));
        break;
    }
    case kFollowWholeScreen: PointerService::Instance().AskConsentAgain(); break;
    case kMidiReceived: Heard(message); break;
    case kOpenFootswitch: OpenFootswitch(); break;
    case kConfigureFootswitch: ConfigureFootswitch(*message); break;
    case kCanvasChoose:
    case kCanvasPaste:
    case kCanvasFullScreen:
    case B_SIMPLE_DATA:
        Canvas().SendMessage(message);
        if (session != nullptr)
            session->CanvasChanged();
        break;
    case kCanvasSettings:
        if (session != nullptr)
            session->MessageReceived(message);
        break;
    default: BWindow::MessageReceived(message); break;
    }
}

void zbWindow::MenusBeginning()
{
    // A loaded preset sets the channel without a pick in this menu; the
    // mark follows the mapping view (item 0 is "Off", item n channel n).
    const int16 channel = output->channel;
    if (BMenuItem* item = channelMenu->ItemAt(channel >= 0 && channel <= 15 ? channel + 1 : 0))
        item->SetMarked(true);
    sendingItem->SetMarked(output->IsSending());
    for (int mode = 0; mode < 3; ++mode)
        playItems[mode]->SetMarked(PlayMode(mode) == output->CurrentPlayMode());
    for (int players = 0; players < 2; ++players)
        playerItems[players]->SetMarked(Players(players) == output->Players().players);
    ListDevices();
    if (BMidiRoster::MidiRoster() == nullptr) {
        std::printf("Couldn't get MIDI roster\n");
        be_app->PostMessage(B_QUIT_REQUESTED);
        return;
    }
    int32 id = 0;
    int32 connected = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        // The program's own input is for other programs to link to.
        if (consumer->ID() == remote->ID()) {
            consumer->Release();
            continue;
        }
        BMenuItem* item = new BMenuItem(consumer->Name(), new BMessage('vCMP'), 0, 0);
        item->Message()->AddInt32("portselect", id);
        portMenu->AddItem(item);
        if (output->producer->IsConnected(consumer)) {
            item->SetMarked(true);
            ++connected;
        }
        consumer->Release();
    }
    // Links made by other tools show up here too.
    output->meters.ShowConnections(connected);
}

void zbWindow::ListDevices()
{
    const PointerService& pointer = PointerService::Instance();
    const PlayerChoice& chosen = output->Players();
    std::vector<std::string> names = pointer.DeviceNames();
    // A chosen device that is unplugged stays chosen, and plays when it is back.
    if (chosen.players == Players::NamedDevice && std::find(names.begin(), names.end(), chosen.device) == names.end())
        names.push_back(chosen.device);
    for (const std::string& name : names) {
        BMessage* choice = new BMessage(kChoosePlayers);
        PlayerChoice { Players::NamedDevice, name }.AddTo(choice);
        BMenuItem* item = new BMenuItem(name.c_str(), choice, 0, 0);
        item->SetMarked(chosen.players == Players::NamedDevice && chosen.device == name);
        deviceMenu->AddItem(item);
    }
    if (!pointer.TellsDevicesApart()) {
        BMenuItem* none = new BMenuItem("(Only on an X11 Desktop)", nullptr, 0, 0);
        none->SetEnabled(false);
        deviceMenu->AddItem(none);
    }
}

void zbWindow::MenusEnded()
{
    for (int32 index = deviceMenu->CountItems() - 1; index >= 0; --index)
        delete deviceMenu->RemoveItem(index);
    for (int32 index = portMenu->CountItems() - 1; index >= 0; --index)
        delete portMenu->RemoveItem(index);
}

void zbWindow::Heard(BMessage* received)
{
    if (footswitchWindow.IsValid()) {
        BMessage heard(*received);
        heard.what = kFootswitchHeard;
        footswitchWindow.SendMessage(&heard);
    }
    if (ReceivedKind(received->FindInt32("kind")) == ReceivedKind::ProgramChange) {
        output->ChoosePresetAt(received->FindInt32("number"));
        return;
    }
    const std::optional<bool> down = footswitch.Moves(*received);
    if (!down || *down == footswitchDown)
        return;
    footswitchDown = *down;
    if (footswitch.action == Footswitch::Action::Hold)
        output->SetSending(footswitchDown);
    else if (footswitchDown)
        output->SetSending(!output->IsSending());
}

void zbWindow::TellFootswitch()
{
    if (footswitch.source == Footswitch::Source::Off)
        return;
    char channel[16] = "any channel";
    if (footswitch.channel != 0)
        std::snprintf(channel, sizeof channel, "channel %d", int(footswitch.channel));
    std::fprintf(stderr, "zimbrel: the footswitch is %s %d on %s, and it %s\n",
        kFootswitchSourceLabels[int(footswitch.source)], int(footswitch.number), channel,
        footswitch.action == Footswitch::Action::Hold ? "sends while held" : "turns Sending over");
    // Held, it alone lets Zimbrel send: up, as a pedal is until pressed.
    if (footswitch.action == Footswitch::Action::Hold)
        output->SetSending(false);
}

void zbWindow::OpenFootswitch()
{
    if (footswitchWindow.IsValid()) {
        footswitchWindow.SendMessage(kRaiseFootswitch);
        return;
    }
    zbFootswitchWindow* window = new zbFootswitchWindow(BMessenger(this), footswitch);
    if (const BScreen screen; screen.IsValid() && IsPlaced())
        window->MoveTo(screen.PlaceBeside(window->Frame(), Frame()));
    footswitchWindow = BMessenger(window);
    window->Show();
}

void zbWindow::ConfigureFootswitch(const BMessage& change)
{
    Footswitch changed;
    std::string why;
    if (FindFootswitch(change, &changed, &why) != B_OK) {
        std::fprintf(stderr, "footswitch not changed: %s\n", why.c_str());
        return;
    }
    if (changed != footswitch) {
        footswitch = changed;
        footswitchDown = false;
        KeepFootswitch(footswitch);
        TellFootswitch();
    }
    BMessage shown(kShowFootswitch);
    AddFootswitch(&shown, footswitch);
    footswitchWindow.SendMessage(&shown);
}

bool zbWindow::QuitRequested()
{
    relay.SendMessage(B_QUIT_REQUESTED);
    be_app->PostMessage(B_QUIT_REQUESTED);
    return true;
}
