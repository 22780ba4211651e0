#include "mapping/zbOutput.h"

#include "mapping/ControllerNames.h"
#include "mapping/zbRowWindow.h"
#include "platform/app/Application.h"
#include "platform/interface/Button.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/Window.h"
#include "platform/interface/PopUpMenu.h"
#include "platform/interface/Screen.h"
#include "platform/interface/StringView.h"
#include "platform/midi/MidiConsumer.h"
#include "platform/midi/MidiRoster.h"
#include "platform/storage/AppFileInfo.h"
#include "platform/storage/Directory.h"
#include "platform/storage/File.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

const char* LARGE_ICON_NAME = "be:large_icon";
const char* MINI_ICON_NAME = "be:mini_icon";

namespace {

constexpr int16 kChannelOff = 128;
constexpr uint8 kHighestDataByte = 127;

// One row of the control panel, top to bottom.
struct PanelRow {
    const char* label;
    uint32 code;
    const char* controllerField;
    cfg zbOutput::*record;
    const char* field; // of the cursor data message
};

constexpr PanelRow kRows[6] = {
    { "Vertical", 'vCYA', "y select", &zbOutput::y, "y" },
    { "Horizontal", 'vCXA', "x select", &zbOutput::x, "x" },
    { "Pressure", 'vCPS', "pressure select", &zbOutput::pressure, "pressure" },
    { "Red", 'vCRD', "red select", &zbOutput::red, "red" },
    { "Green", 'vCGR', "green select", &zbOutput::green, "green" },
    { "Blue", 'vCBL', "blue select", &zbOutput::blue, "blue" },
};
// The rows in the order their Control Changes leave: x, y, pressure, red,
// green, blue.
constexpr int kSendingOrder[6] = { 1, 0, 2, 3, 4, 5 };

// The controllers that carry NRPN selection and data.
constexpr uchar kNrpnMsb = 99;
constexpr uchar kNrpnLsb = 98;
constexpr uchar kDataEntryMsb = 6;
constexpr uchar kDataEntryLsb = 38;
// A 14-bit Control Change's second half goes to controller n + 32.
constexpr uchar kLsbControllerOffset = 32;
// A gliding row sends at most 250 values a second.
constexpr bigtime_t kGlideStep = 4000;
// How often the line under the panel looks again at the links, which any
// program may change, and at the MIDI system.
constexpr bigtime_t kStatusInterval = 1000000;
// The Sending switch, at the left of the band below the rows.
constexpr BRect kSendingSwitch { 8, 257, 92, 281 };
// Between the settings windows of neighbouring rows.
constexpr float kRowWindowStep = 20;
// The row settings button, 22 by 22, centred at x = 367 on each row's line.
constexpr BRect kRowButton { 356, 74, 378, 96 };

bigtime_t Now()
{
    return bigtime_t(std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
                         .count());
}

enum PanelColumn { kControllerColumn, kLowerRangeColumn, kHigherRangeColumn };

constexpr const char* kLowerRangeFields[6]
    = { "y lorange", "x lorange", "pressure lorange", "red lorange", "green lorange", "blue lorange" };
constexpr const char* kHigherRangeFields[6]
    = { "y hirange", "x hirange", "pressure hirange", "red hirange", "green hirange", "blue hirange" };

constexpr rgb_color kPanelGrey { 150, 150, 150, 255 };
constexpr rgb_color kPenGrey { 50, 50, 50, 255 };

// Where the preset controls are shown: in the band between the menu bar and
// the panel's headers, which begin 40 below the view's top. The dividers
// leave room for the labels in the toolkit's font.
constexpr BRect kPresetListFrame { 10, 8, 150, 32 };
constexpr float kPresetListDivider = 52;
constexpr BRect kPresetNameFrame { 158, 8, 390, 32 };
constexpr float kPresetNameDivider = 122;

bool IsValidController(int16 controller)
{
    return controller >= 0 && controller <= kHighestDataByte;
}

} // namespace

zbOutput::zbOutput(const char* name)
    : zbNode(name)
{
    BuildPresetControls();
    SetDefaults();
    producer = new myMidi;
    MoveBy(0, 20);
    ResizeTo(400, 300);
    AttachIcons();
}

zbOutput::~zbOutput()
{
    // Once shown, the preset controls are children and go with the view.
    if (presetName->Parent() == nullptr)
        delete presetName;
    if (presetField->Parent() == nullptr)
        delete presetField;
    producer->Release();
}

PresetMapping zbOutput::DefaultMapping()
{
    // A record starts off and without a controller, so that nothing is sent
    // for it until the user picks a controller.
    const cfg off { kControllerOff, 127, 0, false };
    return PresetMapping { kChannelOff, off, off, off, off, off, off };
}

void zbOutput::SetDefaults()
{
    const PresetMapping defaults = DefaultMapping();
    channel = defaults.channel;
    for (cfg* record : { &blue, &red, &x, &y, &pressure, &green })
        *record = defaults.x;
    std::fill(std::begin(selectedNrpn), std::end(selectedNrpn), -1);
}

void zbOutput::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case 'cdat': {
        // An open settings window marks its row's input on its plot, sent
        // or not.
        if (openRowWindows > 0)
            for (int row = 0; row < kRowCount; ++row)
                if (inputMarks[row]) {
                    // NaN and values below 0 mark 0.
                    const float input = message->FindFloat(kRows[row].field);
                    inputMarks[row]->SetLevel(uint16((input > 0.0f ? std::min(input, 1.0f) : 0.0f) * kHighest14BitValue));
                }
        if (channel == kChannelOff || !Plays(*message))
            break;
        const bigtime_t now = Now();
        for (const int row : kSendingOrder)
            if ((this->*kRows[row].record).enabled)
                SendRow(row, message->FindFloat(kRows[row].field), now);
        meters.Sending(producer->SentCount());
        break;
    }
    case 'vCXA': Configure(x, message); break;
    case 'vCYA': Configure(y, message); break;
    case 'vCPS': Configure(pressure, message); break;
    case 'vCRD': Configure(red, message); break;
    case 'vCGR': Configure(green, message); break;
    case 'vCBL': Configure(blue, message); break;
    case 'vCCH': {
        // Only the Channel menu's 1..16 name a channel; anything else would
        // put a channel number above 15 into the status byte.
        const int16 chosen = message->FindInt16("channel");
        if (chosen >= 1 && chosen <= 16)
            channel = int16(chosen - 1);
        ForgetSent();
        ShowLiveRows();
        break;
    }
    case 'toff':
        channel = kChannelOff;
        std::printf("shi\n");
        ForgetSent();
        ShowLiveRows();
        break;
    case kConfigureRow: ConfigureRow(message); break;
    case kOpenRowSettings: OpenRowSettings(message->FindInt16("row")); break;
    case kRowSettingsClosed: {
        const int16 row = message->FindInt16("row");
        if (row >= 0 && row < kRowCount && inputMarks[row]) {
            rowWindows[row] = BMessenger();
            inputMarks[row].reset();
            --openRowWindows;
        }
        break;
    }
    case 'vCMP': ToggleConnection(message); break;
    case kToggleSending:
        // The check box says what it now shows; the menu and the key turn over.
        SetSending(message->HasInt32("be:value") ? message->FindInt32("be:value") != 0 : !sending);
        break;
    case kChoosePlayMode: {
        const int32 mode = message->FindInt32("mode");
        if (mode >= int32(PlayMode::Always) && mode <= int32(PlayMode::WhilePauseHeld))
            SetPlayMode(PlayMode(mode));
        break;
    }
    case 'bsav': SavePreset(message); break;
    case 'blod': LoadPreset(message); break;
    default: zbNode::MessageReceived(message); break;
    }
}

void zbOutput::SetSending(bool on)
{
    sending = on;
    if (!on)
        for (RowState& state : rowStates)
            state.gliding = state.pending = false;
    if (sendingSwitch != nullptr)
        sendingSwitch->SetValue(on ? 1 : 0);
    std::fprintf(stderr, "zimbrel: sending %s\n", on ? "on" : "paused");
    meters.ShowPaused(!on);
    ShowLiveRows();
}

void zbOutput::SetPlayers(const PlayerChoice& choice)
{
    players = choice;
    std::fprintf(stderr, "zimbrel: %s\n", players.Describe().c_str());
}

void zbOutput::SetPlayMode(PlayMode mode)
{
    constexpr const char* kModeNames[]
        = { "always", "while a button or the pen is down", "while Pause is held" };
    playMode = mode;
    pauseHeld = false;
    std::fprintf(stderr, "zimbrel: plays %s\n", kModeNames[int(mode)]);
}

void zbOutput::PauseKey(bool down)
{
    if (playMode == PlayMode::WhilePauseHeld)
        pauseHeld = down;
    else if (down)
        SetSending(!sending);
}

bool zbOutput::Plays(const BMessage& cursorData) const
{
    if (!sending)
        return false;
    switch (playMode) {
    case PlayMode::WhileDown:
        return cursorData.FindInt32("mouseb") != 0 || cursorData.FindFloat("pressure") > 0.0f;
    case PlayMode::WhilePauseHeld: return pauseHeld;
    case PlayMode::Always: break;
    }
    return true;
}

void zbOutput::Configure(cfg& record, BMessage* message)
{
    record.enabled = true;
    if (message->HasInt16("message")) {
        const int16 controller = message->FindInt16("message");
        if (controller == kControllerOff) {
            record.enabled = false;
            std::printf("off\n");
        }
        record.controller = controller;
    }
    if (message->HasInt16("hirange"))
        record.hirange = uint16(message->FindInt16("hirange"));
    if (message->HasInt16("lorange"))
        record.lorange = uint16(message->FindInt16("lorange"));
    // A new controller or range starts from nothing sent.
    ForgetSent();
    ShowLiveRows();
    // A settings window tells whether the row's controller has a 14-bit
    // partner.
    ShowAllRowSettings();
    std::printf("configed\n");
}

void zbOutput::ConfigureRow(BMessage* message)
{
    const int16 row = message->FindInt16("row");
    if (row < 0 || row >= kRowCount) {
        std::fprintf(stderr, "Row settings not applied: there is no row %d.\n", int(row));
        return;
    }
    std::string why;
    if (FindRowOutput(*message, "", &outputs[row], &why) != B_OK)
        std::fprintf(stderr, "%s settings not applied: %s.\n", kRows[row].label, why.c_str());
    if (message->HasBool("solo")) {
        if (message->FindBool("solo"))
            soloRow = row;
        else if (soloRow == row)
            soloRow = -1;
    }
    rowStates[row] = RowState {};
    ShowLiveRows();
    ShowAllRowSettings();
}

void zbOutput::OpenRowSettings(int row)
{
    if (row < 0 || row >= kRowCount)
        return;
    // A window already open, perhaps hidden behind others, comes forward.
    if (rowWindows[row].IsValid()) {
        rowWindows[row].SendMessage(kRaiseRowSettings);
        return;
    }
    zbRowWindow* window = new zbRowWindow(row, kRows[row].label, BMessenger(this));
    // Beside the main window rather than over its panel, each row's window
    // a step right of and below the one above it.
    BRect all = window->Frame();
    all.right += (kRowCount - 1) * kRowWindowStep;
    all.bottom += (kRowCount - 1) * kRowWindowStep;
    if (const BScreen screen; screen.IsValid() && window->IsPlaced()) {
        const BPoint corner = screen.PlaceBeside(all, Window()->Frame());
        window->MoveTo(BPoint(corner.x + row * kRowWindowStep, corner.y + row * kRowWindowStep));
    }
    inputMarks[row] = window->InputMark();
    ++openRowWindows;
    rowWindows[row] = BMessenger(window);
    window->Show();
    ShowRowSettings(row);
}

void zbOutput::ShowRowSettings(int row)
{
    if (!rowWindows[row].IsValid())
        return;
    BMessage settings(kShowRowSettings);
    AddRowOutput(&settings, "", outputs[row]);
    settings.AddBool("solo", soloRow == row);
    settings.AddInt16("controller", (this->*kRows[row].record).controller);
    rowWindows[row].SendMessage(&settings);
}

void zbOutput::ShowAllRowSettings()
{
    for (int row = 0; row < kRowCount; ++row)
        ShowRowSettings(row);
}

void zbOutput::CursorToMidi(cfg record, BMessage* message, const char* field)
{
    // A range message switches a quantity on even when no controller was
    // picked for it; with no valid controller there is nothing to send.
    if (!IsValidController(record.controller))
        return;
    const uchar value = uchar(Value7(record, message->FindFloat(field)));
    producer->Control(uchar(channel & 0xff), uchar(record.controller), value);
    meters.Sent(field, value);
}

void zbOutput::SendRow(int row, float input, bigtime_t now)
{
    const RowOutput& output = outputs[row];
    const cfg& record = this->*kRows[row].record;
    // A Control Change needs a controller; the other kinds do not use it.
    const bool needsController = output.kind == OutputKind::ControlChange
        || output.kind == OutputKind::ControlChange14;
    if ((soloRow >= 0 && soloRow != row) || (needsController && !IsValidController(record.controller)))
        return;
    const double shaped = ShapeInput(output, input);
    const int32 value = SendsHighResolution(output, record.controller) ? Value14(record, shaped) : Value7(record, shaped);
    RowState& state = rowStates[row];
    if (output.smoothing == 0 || !state.primed) {
        // The first value of a glide has nowhere to glide from.
        state.primed = output.smoothing != 0;
        state.position = value;
        state.target = value;
        state.stepped = now;
        state.sent = now;
        Emit(row, value);
        return;
    }
    // A row at rest glides from where it stands, however long it rested:
    // the rest is no part of the glide.
    if (!state.gliding && !state.pending)
        state.stepped = now;
    state.target = value;
    Glide(row, now);
}

void zbOutput::Glide(int row, bigtime_t now)
{
    RowState& state = rowStates[row];
    const double elapsed = double(now - state.stepped);
    state.stepped = now;
    state.position += (state.target - state.position) * -std::expm1(-elapsed / (outputs[row].smoothing * 1000.0));
    // Within half a step the glide has arrived.
    if (std::fabs(state.target - state.position) < 0.5)
        state.position = state.target;
    state.gliding = state.position != state.target;
    const int32 value = int32(std::lround(state.position));
    if (now - state.sent >= kGlideStep) {
        state.sent = now;
        state.pending = false;
        Emit(row, value);
    } else {
        state.pending = true;
    }
    BWindow* window = Window();
    if ((state.gliding || state.pending) && window != nullptr && window->PulseRate() != kGlideStep)
        window->SetPulseRate(kGlideStep);
}

void zbOutput::Pulse()
{
    bool moving = false;
    if (channel != kChannelOff && sending) {
        const bigtime_t now = Now();
        for (const int row : kSendingOrder) {
            RowState& state = rowStates[row];
            if (outputs[row].smoothing == 0 || !(state.gliding || state.pending))
                continue;
            Glide(row, now);
            moving = moving || state.gliding || state.pending;
        }
    }
    if (const bigtime_t now = Now(); now - statusShown >= kStatusInterval * 9 / 10) {
        statusShown = now;
        meters.ShowConnections(producer);
    }
    if (!moving && Window() != nullptr && Window()->PulseRate() != kStatusInterval)
        Window()->SetPulseRate(kStatusInterval);
}

void zbOutput::Emit(int row, int32 value)
{
    const RowOutput& output = outputs[row];
    const cfg& record = this->*kRows[row].record;
    RowState& state = rowStates[row];
    const uchar channelByte = uchar(channel & 0x0f);
    const bool highResolution = SendsHighResolution(output, record.controller);
    if (highResolution) {
        // A 14-bit row sends only when its value changed.
        if (value == state.lastHighResolution)
            return;
        state.lastHighResolution = value;
    }
    const uchar msb = uchar(value >> 7);
    const uchar lsb = uchar(value & 0x7f);
    switch (highResolution ? output.kind : OutputKind::ControlChange) {
    case OutputKind::ControlChange14:
        producer->Control(channelByte, uchar(record.controller), msb);
        producer->Control(channelByte, uchar(record.controller + kLsbControllerOffset), lsb);
        break;
    case OutputKind::Nrpn14:
        if (selectedNrpn[channelByte] != output.nrpn) {
            producer->Control(channelByte, kNrpnMsb, uchar(output.nrpn >> 7));
            producer->Control(channelByte, kNrpnLsb, uchar(output.nrpn & 0x7f));
            selectedNrpn[channelByte] = output.nrpn;
        }
        producer->Control(channelByte, kDataEntryMsb, msb);
        producer->Control(channelByte, kDataEntryLsb, lsb);
        break;
    case OutputKind::PitchBend: producer->PitchBend(channelByte, lsb, msb); break;
    default:
        if (output.kind == OutputKind::ChannelPressure)
            producer->ChannelPressure(channelByte, uchar(value));
        else
            producer->Control(channelByte, uchar(record.controller), uchar(value));
        meters.Sent(kRows[row].field, uchar(value));
        return;
    }
    meters.Sent(kRows[row].field, msb);
}

// A new channel or new settings start from nothing sent: the first value
// goes out whatever it is.
void zbOutput::ForgetSent()
{
    for (RowState& state : rowStates)
        state = RowState {};
}

void zbOutput::ButtonToMidi(cfg record, BMessage* /*message*/, const char* /*field*/)
{
    if (!IsValidController(record.controller))
        return;
    producer->Control(uchar(channel & 0xff), uchar(record.controller & 0xff), 127);
}

void zbOutput::ToggleConnection(BMessage* message)
{
    BMidiRoster::MidiRoster();
    BMidiConsumer* consumer = BMidiRoster::FindConsumer(message->FindInt32("portselect"), false);
    std::printf("cfged\n");
    // The consumer may have gone since the Port menu was built.
    if (consumer == nullptr)
        return;
    if (producer->IsConnected(consumer))
        producer->Disconnect(consumer);
    else
        producer->Connect(consumer);
    consumer->Release();
    meters.ShowConnections(producer);
}

void zbOutput::ShowLiveRows()
{
    for (int row = 0; row < kRowCount; ++row)
        meters.ShowRow(kRows[row].field, this->*kRows[row].record,
            channel != kChannelOff && sending && (soloRow < 0 || soloRow == row));
}

// ---- icons ----

void zbOutput::AttachIcons()
{
    BBitmap large(BRect(0, 0, 31, 31), B_CMAP8, false, false);
    BBitmap mini(BRect(0, 0, 15, 15), B_CMAP8, false, false);
    GetIcons(&large, &mini);
    BMessage properties;
    producer->GetProperties(&properties);
    AddIcons(&properties, &large, &mini);
    producer->SetProperties(&properties);
}

void zbOutput::GetIcons(BBitmap* large, BBitmap* mini)
{
    app_info info;
    if (be_app == nullptr || be_app->GetAppInfo(&info) != B_OK)
        return;
    BFile file(&info.ref, B_READ_ONLY);
    if (file.InitCheck() != B_OK)
        return;
    BAppFileInfo appFileInfo(&file);
    if (appFileInfo.InitCheck() != B_OK)
        return;
    appFileInfo.GetIcon(large, B_LARGE_ICON);
    appFileInfo.GetIcon(mini, B_MINI_ICON);
}

void zbOutput::AddIcons(BMessage* properties, BBitmap* large, BBitmap* mini) const
{
    const struct {
        const char* name;
        type_code type;
        BBitmap* bitmap;
    } icons[] = { { LARGE_ICON_NAME, 'ICON', large }, { MINI_ICON_NAME, 'MICN', mini } };
    for (const auto& icon : icons) {
        if (properties->HasData(icon.name, icon.type, 0))
            properties->ReplaceData(icon.name, icon.type, icon.bitmap->Bits(), icon.bitmap->BitsLength());
        else
            properties->AddData(
                icon.name, icon.type, icon.bitmap->Bits(), icon.bitmap->BitsLength(), true, 1);
    }
}

// ---- control panel ----

void zbOutput::AttachedToWindow()
{
    panelTarget = this;
    presetName->SetTarget(this);
    presetMenu->SetTargetForItems(panelTarget);
    SetViewColor(kPanelGrey);
    AddControllerColumn();
    AddRangeColumn(BRect(190, 10, 340, 40).OffsetBy(0, 30), "Lower Range", "lable lo", "0", "lorange",
        kLowerRangeFields, kLowerRangeColumn);
    AddRangeColumn(BRect(230, 10, 340, 40).OffsetBy(0, 30).OffsetBy(40, 0), "Higher Range", "lable hi", "127",
        "hirange", kHigherRangeFields, kHigherRangeColumn);
    PlacePresetControls();
    AddRowButtons();
    sendingSwitch = new BCheckBox(kSendingSwitch, "sending switch", "Sending", new BMessage(kToggleSending));
    sendingSwitch->SetValue(sending ? 1 : 0);
    sendingSwitch->SetTarget(this);
    AddChild(sendingSwitch);
    meters.AddTo(Window(), Frame(), ViewColor());
    // Gliding rows move on at the window's pulse, and the status line looks
    // again at a slower one.
    SetFlags(Flags() | B_PULSE_NEEDED);
    Window()->SetPulseRate(kStatusInterval);
}

void zbOutput::AddRowButtons()
{
    for (int row = 0; row < kRowCount; ++row) {
        BMessage* message = new BMessage(kOpenRowSettings);
        message->AddInt16("row", int16(row));
        char name[32];
        std::snprintf(name, sizeof name, "%s settings", kRows[row].field);
        BButton* button = new BButton(kRowButton.OffsetByCopy(0, row * 30), name, "\u2026", message);
        button->SetTarget(this);
        AddChild(button);
    }
}

void zbOutput::AddControllerColumn()
{
    BRect frame = BRect(10, 10, 190, 40).OffsetBy(0, 30);
    AddChild(new BStringView(frame.OffsetByCopy(90, 0), "label chan", "Message", B_FOLLOW_TOP, B_WILL_DRAW));
    for (int row = 0; row < 6; ++row) {
        frame.OffsetBy(0, 30);
        BPopUpMenu* menu = new BPopUpMenu("off", true, true, B_ITEMS_IN_COLUMN);
        for (int16 value = 0; value <= kControllerOff; ++value) {
            BMessage* message = new BMessage(kRows[row].code);
            message->AddInt16("message", value);
            menu->AddItem(new BMenuItem(kControllerNames[value], message, 0, 0));
        }
        menu->SetRadioMode(true);
        menu->SetTargetForItems(panelTarget);
        panelMenus[row][kControllerColumn] = menu;
        AddChild(new BMenuField(
            frame, kRows[row].controllerField, kRows[row].label, menu, B_FOLLOW_LEFT, B_WILL_DRAW));
    }
}

void zbOutput::AddRangeColumn(BRect frame, const char* headerText, const char* headerName,
    const char* menuTitle, const char* field, const char* const fieldNames[], int column)
{
    AddChild(new BStringView(frame, headerName, headerText, B_FOLLOW_TOP, B_WILL_DRAW));
    char label[8];
    for (int row = 0; row < 6; ++row) {
        frame.OffsetBy(0, 30);
        BPopUpMenu* menu = new BPopUpMenu(menuTitle, true, true, B_ITEMS_IN_COLUMN);
        for (int16 value = 0; value <= kHighestDataByte; ++value) {
            std::snprintf(label, sizeof label, "%i", value);
            BMessage* message = new BMessage(kRows[row].code);
            message->AddInt16(field, value);
            menu->AddItem(new BMenuItem(label, message, 0, 0));
        }
        menu->SetRadioMode(true);
        menu->SetTargetForItems(panelTarget);
        panelMenus[row][column] = menu;
        BMenuField* menuField = new BMenuField(frame, fieldNames[row], "", menu, B_FOLLOW_LEFT, B_WILL_DRAW);
        menuField->SetDivider(0);
        AddChild(menuField);
    }
}

void zbOutput::Draw(BRect /*updateRect*/)
{
    SetPenSize(4.0f);
    SetHighColor(kPenGrey);
}

// ---- presets ----

void zbOutput::BuildPresetControls()
{
    const std::string folder = PresetFolder();
    presetFolder = folder + "/";
    create_directory(folder.c_str(), 0777);

    presetName = new BTextControl(BRect(120, 10, 300, 20), "PresetName", "New Preset Name:", "",
        new BMessage('bsav'), B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW | B_NAVIGABLE);
    presetMenu = new BPopUpMenu("Presets", true, true, B_ITEMS_IN_COLUMN);

    BDirectory directory(folder.c_str());
    const int32 count = directory.CountEntries();
    entry_ref ref;
    for (int32 index = 0; index < count && directory.GetNextRef(&ref) == B_OK; ++index) {
        if (!IsValidPreset(&ref))
            continue;
        std::printf("%s\n", PrintableName(ref.name).c_str());
        presetMenu->AddItem(NewPresetItem(ref));
    }

    presetField = new BMenuField(
        BRect(10, 10, 10, 10), "Presets", "Presets:", presetMenu, B_FOLLOW_LEFT, B_WILL_DRAW);
}

bool zbOutput::IsValidPreset(entry_ref* ref)
{
    // Only a file of its own can hold a preset: a folder, a FIFO (whose
    // reading would wait) or a link to anywhere is no preset of this folder.
    return BEntry(ref).IsFile();
}

BMenuItem* zbOutput::NewPresetItem(const entry_ref& ref) const
{
    BMessage* message = new BMessage('blod');
    message->AddRef("filename", &ref);
    return new BMenuItem(ref.name.c_str(), message, 0, 0);
}

void zbOutput::PlacePresetControls()
{
    presetField->MoveTo(kPresetListFrame.left, kPresetListFrame.top);
    presetField->ResizeTo(kPresetListFrame.Width(), kPresetListFrame.Height());
    presetField->SetDivider(kPresetListDivider);
    presetName->MoveTo(kPresetNameFrame.left, kPresetNameFrame.top);
    presetName->ResizeTo(kPresetNameFrame.Width(), kPresetNameFrame.Height());
    presetName->SetDivider(kPresetNameDivider);
    AddChild(presetField);
    AddChild(presetName);
}

void zbOutput::SavePreset(BMessage* message)
{
    const std::string path = presetFolder + presetName->Text();
    std::printf("%s\n", path.c_str());
    message->PrintToStream();
    std::fflush(stdout);

    const std::string refused = RefusedPresetName(presetFolder, presetName->Text());
    if (!refused.empty()) {
        std::fprintf(stderr, "Preset not saved: %s.\n", refused.c_str());
        return;
    }
    BMessage preset(*message);
    AddMapping(&preset, CurrentMapping());
    if (const int error = WritePreset(path.c_str(), preset); error != 0) {
        std::fprintf(stderr, "Preset not saved to \"%s\": %s.\n", path.c_str(), std::strerror(error));
        return;
    }
    ListNewPreset(presetName->Text());
}

// Keeps the list sorted by name, as it was read from the folder.
void zbOutput::ListNewPreset(const char* name)
{
    int32 index = 0;
    for (; index < presetMenu->CountItems(); ++index) {
        const int order = std::string(presetMenu->ItemAt(index)->Label()).compare(name);
        if (order == 0)
            return;
        if (order > 0)
            break;
    }
    BMenuItem* item = NewPresetItem(entry_ref(presetFolder.substr(0, presetFolder.size() - 1), name));
    if (panelTarget != nullptr)
        item->SetTarget(panelTarget);
    presetMenu->AddItem(item, index);
}

void zbOutput::LoadPreset(BMessage* message)
{
    entry_ref ref;
    const bool named = message->FindRef("filename", &ref) == B_OK;
    if (named)
        presetName->SetText(ref.name.c_str());
    message->PrintToStream();
    std::fflush(stdout);
    if (!named) {
        std::fprintf(stderr, "Preset not loaded: the command names no file.\n");
        return;
    }
    PresetMapping mapping;
    std::string why;
    if (ReadPreset(ref.Path().c_str(), &mapping, &why) != B_OK) {
        std::fprintf(stderr, "Preset \"%s\" not loaded, only its name was taken: %s.\n", ref.Path().c_str(),
            why.c_str());
        return;
    }
    ApplyMapping(mapping);
}

void zbOutput::ChoosePreset(const std::string& name)
{
    for (int32 index = 0; index < presetMenu->CountItems(); ++index) {
        BMenuItem* item = presetMenu->ItemAt(index);
        if (name == item->Label()) {
            item->SetMarked(true);
            LoadPreset(item->Message());
            return;
        }
    }
    std::fprintf(stderr, "No preset \"%s\" in %s: starting with the defaults.\n", name.c_str(),
        presetFolder.c_str());
}

void zbOutput::ChoosePresetAt(int32 index)
{
    BMenuItem* item = presetMenu->ItemAt(index);
    if (item == nullptr) {
        std::fprintf(stderr, "Program Change %d: there is no preset %d, the list has %d\n", int(index + 1),
            int(index + 1), int(presetMenu->CountItems()));
        return;
    }
    item->SetMarked(true);
    LoadPreset(item->Message());
}

PresetMapping zbOutput::CurrentMapping() const
{
    PresetMapping mapping { channel, x, y, pressure, red, green, blue };
    std::copy(std::begin(outputs), std::end(outputs), std::begin(mapping.outputs));
    mapping.soloRow = soloRow;
    mapping.players = players;
    return mapping;
}

// Sets the channel and the records as picks in the menus would, and marks
// in the panel what they now hold.
void zbOutput::ApplyMapping(const PresetMapping& mapping)
{
    channel = mapping.channel;
    x = mapping.x;
    y = mapping.y;
    pressure = mapping.pressure;
    red = mapping.red;
    green = mapping.green;
    blue = mapping.blue;
    std::copy(std::begin(mapping.outputs), std::end(mapping.outputs), std::begin(outputs));
    soloRow = mapping.soloRow;
    if (mapping.players && *mapping.players != players && Window() != nullptr) {
        BMessage choice(kChoosePlayers);
        mapping.players->AddTo(&choice);
        Window()->PostMessage(&choice);
    }
    ForgetSent();
    for (int row = 0; row < 6; ++row) {
        const cfg& record = this->*kRows[row].record;
        const int32 shown[3] = { record.controller, record.lorange, record.hirange };
        for (int column = 0; column < 3; ++column) {
            if (panelMenus[row][column] == nullptr)
                continue;
            if (BMenuItem* item = panelMenus[row][column]->ItemAt(shown[column]))
                item->SetMarked(true);
        }
    }
    ShowLiveRows();
    ShowAllRowSettings();
}
