#include "mapping/zbRowWindow.h"

#include "platform/interface/MenuItem.h"
#include "platform/interface/PopUpMenu.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

namespace {

constexpr BRect kWindowFrame { 140, 140, 460, 420 };
constexpr float kDivider = 110;
// A number field's text was committed; int32 "index" is its place in
// kNumberFields.
constexpr uint32 kNumberEdited = 'vRNE';
constexpr uint32 kSoloClicked = 'vRSO';
// The plot's line is drawn through this many points.
constexpr int kPlotPoints = 65;

struct NumberField {
    const char* name; // as AddRowOutput names it
    int16 RowOutput::*value;
    int16 lowest;
    int16 highest;
    const char* units;
};

constexpr NumberField kNumberFields[] = {
    { "nrpn", &RowOutput::nrpn, 0, kHighestNrpn, "" },
    { "curve amount", &RowOutput::amount, 0, 100, " %" },
    { "threshold", &RowOutput::threshold, 0, 100, " %" },
    { "smoothing", &RowOutput::smoothing, 0, kLongestSmoothing, " ms, not 1 to 4" },
};

BPopUpMenu* ChoiceMenu(const char* const labels[], int16 count, int row, const char* field)
{
    BPopUpMenu* menu = new BPopUpMenu(labels[0], true, true, B_ITEMS_IN_COLUMN);
    for (int16 index = 0; index < count; ++index) {
        BMessage* message = new BMessage(kConfigureRow);
        message->AddInt16("row", int16(row));
        message->AddInt16(field, index);
        menu->AddItem(new BMenuItem(labels[index], message, 0, 0));
    }
    menu->SetRadioMode(true);
    return menu;
}

std::string WindowTitle(const char* label)
{
    return std::string("Zimbrel \u2014 ") + label + " settings";
}

} // namespace

zbRowWindow::zbRowWindow(int row, const char* label, BMessenger mappingView)
    : BWindow(kWindowFrame.OffsetByCopy(row * 20, row * 20), WindowTitle(label).c_str(), B_TITLED_WINDOW,
        B_NOT_ZOOMABLE | B_NOT_RESIZABLE | B_CLOSE_ON_ESCAPE)
    , fRow(row)
    , fMappingView(mappingView)
{
    SetName("row settings");
    BPopUpMenu* outputs = ChoiceMenu(kOutputKindLabels, kOutputKinds, row, "output");
    outputs->SetTargetForItems(fMappingView);
    fOutputField = new BMenuField(BRect(10, 10, 310, 34), "output", "Output:", outputs);
    fOutputField->SetDivider(kDivider);
    AddChild(fOutputField);
    fNote = new BStringView(BRect(10, 38, 310, 56), "note", "");
    AddChild(fNote);
    AddNumberField(60, 0, "NRPN number:");
    BPopUpMenu* curves = ChoiceMenu(kCurveKindLabels, kCurveKinds, row, "curve");
    curves->SetTargetForItems(fMappingView);
    fCurveField = new BMenuField(BRect(10, 92, 310, 116), "curve", "Curve:", curves);
    fCurveField->SetDivider(kDivider);
    AddChild(fCurveField);
    AddNumberField(122, 1, "Amount (%):");
    AddNumberField(152, 2, "Threshold (%):");
    AddNumberField(182, 3, "Smoothing (ms):");
    AddChild(new BStringView(BRect(10, 208, 200, 224), "smoothing hint", "0 is off, else 5 to 1000"));
    fPlot = new BPlotView(BRect(210, 122, 310, 222), "curve plot");
    AddChild(fPlot);
    fSolo = new BCheckBox(BRect(10, 240, 310, 264), "solo", "Send only this row", new BMessage(kSoloClicked));
    AddChild(fSolo);
    fOutputField->MakeFocus();
}

BTextControl* zbRowWindow::AddNumberField(float top, int index, const char* label)
{
    BMessage* message = new BMessage(kNumberEdited);
    message->AddInt32("index", index);
    BTextControl* field
        = new BTextControl(BRect(10, top, 200, top + 24), kNumberFields[index].name, label, "", message);
    field->SetDivider(kDivider);
    AddChild(field);
    fNumbers[index] = field;
    return field;
}

void zbRowWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kShowRowSettings: ShowSettings(*message); break;
    case kRaiseRowSettings: Activate(); break;
    case kNumberEdited: NumberEdited(message); break;
    case kSoloClicked: {
        BMessage solo(kConfigureRow);
        solo.AddInt16("row", int16(fRow));
        solo.AddBool("solo", fSolo->Value() != 0);
        fMappingView.SendMessage(&solo);
        break;
    }
    default: BWindow::MessageReceived(message); break;
    }
}

void zbRowWindow::NumberEdited(BMessage* message)
{
    const int32 index = message->FindInt32("index");
    if (index < 0 || index >= int32(std::size(kNumberFields)))
        return;
    const NumberField& field = kNumberFields[index];
    BTextControl* control = fNumbers[index];
    const char* text = control->Text();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    const bool smoothingGap = field.value == &RowOutput::smoothing && value > 0 && value < kShortestSmoothing;
    if (end == text || *end != '\0' || errno != 0 || value < field.lowest || value > field.highest || smoothingGap) {
        // Said where it was typed, until the next change; the field shows
        // what the row keeps.
        char refusal[128];
        std::snprintf(refusal, sizeof refusal, "\"%s\" not taken: a whole number, %d to %d%s.", text,
            int(field.lowest), int(field.highest), field.units);
        std::fprintf(stderr, "%s %s\n", control->Label(), refusal);
        fNote->SetText(refusal);
        control->SetText(std::to_string(fShown.*field.value).c_str());
        return;
    }
    BMessage change(kConfigureRow);
    change.AddInt16("row", int16(fRow));
    change.AddInt16(field.name, int16(value));
    fMappingView.SendMessage(&change);
}

void zbRowWindow::ShowSettings(const BMessage& settings)
{
    std::string why;
    const RowOutput before = fShown;
    if (FindRowOutput(settings, "", &fShown, &why) != B_OK)
        return;
    if (BMenuItem* item = fOutputField->Menu()->ItemAt(int32(fShown.kind)))
        item->SetMarked(true);
    if (BMenuItem* item = fCurveField->Menu()->ItemAt(int32(fShown.curve)))
        item->SetMarked(true);
    // Only numbers that changed are written: the answer to another change
    // must not overwrite a number the user has just typed, whose own change
    // is still on its way.
    for (size_t index = 0; index < std::size(kNumberFields); ++index) {
        const int16 RowOutput::*value = kNumberFields[index].value;
        if (!fNumbersShown || fShown.*value != before.*value)
            fNumbers[index]->SetText(std::to_string(fShown.*value).c_str());
    }
    fNumbersShown = true;
    fSolo->SetValue(settings.FindBool("solo") ? 1 : 0);

    const int16 controller = settings.FindInt16("controller");
    char note[96] = "";
    // "off" silences the row whatever it sends, Pitch Bend and Channel
    // Pressure included, though they use no controller number.
    if (controller == kControllerOff)
        std::snprintf(note, sizeof note, "This row is off: choose a Message in the panel.");
    else if (fShown.kind == OutputKind::ControlChange14 && !SendsHighResolution(fShown, controller)) {
        std::snprintf(note, sizeof note, "Controller %d has no 14-bit pair: 7 bits sent.", int(controller));
    }
    fNote->SetText(note);

    std::vector<BPoint> points;
    points.reserve(kPlotPoints);
    for (int i = 0; i < kPlotPoints; ++i) {
        const double input = double(i) / (kPlotPoints - 1);
        points.emplace_back(float(input), float(ShapeInput(fShown, input)));
    }
    fPlot->SetPoints(std::move(points));
}

bool zbRowWindow::QuitRequested()
{
    BMessage closed(kRowSettingsClosed);
    closed.AddInt16("row", int16(fRow));
    fMappingView.SendMessage(&closed);
    return true;
}
