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
#include "platform/storage/Directory.h"
#include "platform/storage/File.h"

#include <algorithm>
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
};

constexpr PanelRow kRows[6] = {
    { "Vertical", 'vCYA', "y select", &zbOutput::y },
    { "Horizontal", 'vCXA', "x select", &zbOutput::x },
    { "Pressure", 'vCPS', "pressure select", &zbOutput::pressure },
    { "Red", 'vCRD', "red select", &zbOutput::red },
    { "Green", 'vCGR', "green select", &zbOutput::green },
    { "Blue", 'vCBL', "blue select", &zbOutput::blue },
};

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

void zbOutput::SetDefaults()
{
    channel = kChannelOff;
    // A record starts off and without a controller, so that nothing is sent
    // for it until the user picks a controller.
    for (cfg* record : { &blue, &red, &x, &y, &pressure, &green })
        *record = cfg { kControllerOff, 127, 0, false };
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
    case 'bsav': SavePreset(message); break;
    case 'blod': LoadPreset(message); break;
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
    for (const auto& [field, record] :
        { std::pair { "x", &x }, std::pair { "y", &y }, std::pair { "pressure", &pressure },
            std::pair { "red", &red }, std::pair { "green", &green }, std::pair { "blue", &blue } })
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
    meters.AddTo(Window(), Frame(), ViewColor());
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
        std::printf("%s\n", ref.name.c_str());
        presetMenu->AddItem(NewPresetItem(ref));
    }

    presetField = new BMenuField(
        BRect(10, 10, 10, 10), "Presets", "Presets:", presetMenu, B_FOLLOW_LEFT, B_WILL_DRAW);
}

bool zbOutput::IsValidPreset(entry_ref* /*ref*/)
{
    return true;
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

PresetMapping zbOutput::CurrentMapping() const
{
    return PresetMapping { channel, x, y, pressure, red, green, blue };
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
}
