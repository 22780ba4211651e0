#include "mapping/zbOutput.h"

#include "mapping/ControllerNames.h"
#include "platform/app/Application.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/PopUpMenu.h"
#include "platform/interface/StringView.h"
#include "platform/midi/MidiConsumer.h"
#include "platform/midi/MidiRoster.h"
#include "platform/storage/AppFileInfo.h"
#include "platform/storage/File.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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
};

constexpr PanelRow kRows[6] = {
    {"Vertical", 'vCYA', "y select"},     {"Horizontal", 'vCXA', "x select"},
    {"Pressure", 'vCPS', "pressure select"}, {"Red", 'vCRD', "red select"},
    {"Green", 'vCGR', "green select"},    {"Blue", 'vCBL', "blue select"},
};

constexpr const char* kLowerRangeFields[6] = {"y lorange",     "x lorange",   "pressure lorange",
                                              "red lorange",   "green lorange", "blue lorange"};
constexpr const char* kHigherRangeFields[6] = {"y hirange",   "x hirange",     "pressure hirange",
                                               "red hirange", "green hirange", "blue hirange"};

constexpr rgb_color kPanelGrey{150, 150, 150, 255};
constexpr rgb_color kPenGrey{50, 50, 50, 255};

bool IsValidController(int16 controller)
{
    return controller >= 0 && controller <= kHighestDataByte;
}

} // namespace

zbOutput::zbOutput(const char* name) : zbNode(name)
{
    SetDefaults();
    producer = new myMidi;
    MoveBy(0, 20);
    ResizeTo(400, 300);
    AttachIcons();
}

zbOutput::~zbOutput()
{
    producer->Release();
}

void zbOutput::SetDefaults()
{
    channel = kChannelOff;
    // A record starts off and without a controller, so that nothing is sent
    // for it until the user picks a controller.
    for (cfg* record : {&blue, &red, &x, &y, &pressure, &green})
        *record = cfg{kControllerOff, 127, 0, false};
}

void zbOutput::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case 'cdat':
        if (channel == kChannelOff)
            break;
        if (x.enabled)
            CursorToMidi(x, message, "x");
        if (y.enabled)
            CursorToMidi(y, message, "y");
        if (pressure.enabled)
            CursorToMidi(pressure, message, "pressure");
        if (red.enabled)
            CursorToMidi(red, message, "red");
        if (green.enabled)
            CursorToMidi(green, message, "green");
        if (blue.enabled)
            CursorToMidi(blue, message, "blue");
        meters.Sending(producer->SentCount());
        break;
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
        ShowLiveRows();
        break;
    }
    case 'toff':
        channel = kChannelOff;
        std::printf("shi\n");
        ShowLiveRows();
        break;
    case 'vCMP': ToggleConnection(message); break;
    default: zbNode::MessageReceived(message); break;
    }
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
    ShowLiveRows();
    std::printf("configed\n");
}

void zbOutput::CursorToMidi(cfg record, BMessage* message, const char* field)
{
    // A range message switches a quantity on even when no controller was
    // picked for it; with no valid controller there is nothing to send.
    if (!IsValidController(record.controller))
        return;
    const float input = message->FindFloat(field);
    const int32 span = int32(record.hirange) - int32(record.lorange);
    double scaled = std::trunc(double(input) * span);
    if (std::isnan(scaled))
        scaled = 0.0;
    // MIDI data bytes carry 7 bits: values beyond the range are held at its
    // ends instead of wrapping around.
    const double value = std::clamp(scaled + record.lorange, 0.0, double(kHighestDataByte));
    producer->Control(uchar(channel & 0xff), uchar(record.controller), uchar(value));
    meters.Sent(field, uchar(value));
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
    const bool channelOn = channel != kChannelOff;
    for (const auto& [field, record] : {std::pair{"x", &x}, std::pair{"y", &y}, std::pair{"pressure", &pressure},
                                        std::pair{"red", &red}, std::pair{"green", &green}, std::pair{"blue", &blue}})
        meters.ShowRow(field, *record, channelOn);
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
    } icons[] = {{LARGE_ICON_NAME, 'ICON', large}, {MINI_ICON_NAME, 'MICN', mini}};
    for (const auto& icon : icons) {
        if (properties->HasData(icon.name, icon.type, 0))
            properties->ReplaceData(icon.name, icon.type, icon.bitmap->Bits(), icon.bitmap->BitsLength());
        else
            properties->AddData(icon.name, icon.type, icon.bitmap->Bits(), icon.bitmap->BitsLength(), true, 1);
    }
}

// ---- control panel ----

void zbOutput::AttachedToWindow()
{
    panelTarget = this;
    SetViewColor(kPanelGrey);
    AddControllerColumn();
    AddRangeColumn(BRect(190, 10, 340, 40).OffsetBy(0, 30), "Lower Range", "lable lo", "0", "lorange",
                   kLowerRangeFields);
    AddRangeColumn(BRect(230, 10, 340, 40).OffsetBy(0, 30).OffsetBy(40, 0), "Higher Range", "lable hi", "127",
                   "hirange", kHigherRangeFields);
    meters.AddTo(Window(), Frame(), ViewColor());
}

void zbOutput::AddControllerColumn()
{
    BRect frame = BRect(10, 10, 190, 40).OffsetBy(0, 30);
    AddChild(new BStringView(frame.OffsetByCopy(90, 0), "label chan", "Message", B_FOLLOW_TOP, B_WILL_DRAW));
    for (const PanelRow& row : kRows) {
        frame.OffsetBy(0, 30);
        BPopUpMenu* menu = new BPopUpMenu("off", true, true, B_ITEMS_IN_COLUMN);
        for (int16 value = 0; value <= kControllerOff; ++value) {
            BMessage* message = new BMessage(row.code);
            message->AddInt16("message", value);
            menu->AddItem(new BMenuItem(kControllerNames[value], message, 0, 0));
        }
        menu->SetRadioMode(true);
        menu->SetTargetForItems(panelTarget);
        AddChild(new BMenuField(frame, row.controllerField, row.label, menu, B_FOLLOW_LEFT, B_WILL_DRAW));
    }
}

void zbOutput::AddRangeColumn(BRect frame, const char* headerText, const char* headerName,
                              const char* menuTitle, const char* field, const char* const fieldNames[])
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
