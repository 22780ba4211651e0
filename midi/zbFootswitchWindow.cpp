#include "midi/zbFootswitchWindow.h"

#include "platform/interface/Button.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/PopUpMenu.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr BRect kWindowFrame { 160, 160, 500, 380 };
constexpr float kDivider = 100;
// A choice in one of the pop-ups: int32 "field" (an index in kChoiceFields)
// and int32 "value".
constexpr uint32 kChoiceMade = 'zFCH';
constexpr uint32 kNumberEdited = 'zFNE';
constexpr uint32 kUseHeard = 'zFUS';

constexpr const char* kChoiceFields[] = { "source", "channel", "action" };

BMenuField* ChoiceField(BRect frame, int32 field, const char* label, const std::vector<std::string>& labels)
{
    BPopUpMenu* menu = new BPopUpMenu(labels[0].c_str(), true, true, B_ITEMS_IN_COLUMN);
    for (size_t index = 0; index < labels.size(); ++index) {
        BMessage* message = new BMessage(kChoiceMade);
        message->AddInt32("field", field);
        message->AddInt32("value", int32(index));
        menu->AddItem(new BMenuItem(labels[index].c_str(), message, 0, 0));
    }
    menu->SetRadioMode(true);
    BMenuField* menuField = new BMenuField(frame, kChoiceFields[field], label, menu);
    menuField->SetDivider(kDivider);
    return menuField;
}

std::vector<std::string> ChannelLabels()
{
    std::vector<std::string> labels { "Any" };
    for (int channel = 1; channel <= 16; ++channel)
        labels.push_back(std::to_string(channel));
    return labels;
}

// "Control Change 64 = 127 on channel 1", as heard.
std::string DescribeHeard(const BMessage& received)
{
    const int32 number = received.FindInt32("number");
    const int32 value = received.FindInt32("value");
    const int32 channel = received.FindInt32("channel") + 1;
    char text[96];
    switch (ReceivedKind(received.FindInt32("kind"))) {
    case ReceivedKind::ControlChange:
        std::snprintf(text, sizeof text, "Control Change %d = %d on channel %d", int(number), int(value), int(channel));
        break;
    case ReceivedKind::NoteOn:
        std::snprintf(text, sizeof text, "Note %d on (velocity %d), channel %d", int(number), int(value), int(channel));
        break;
    case ReceivedKind::NoteOff:
        std::snprintf(text, sizeof text, "Note %d off, channel %d", int(number), int(channel));
        break;
    case ReceivedKind::ProgramChange:
        std::snprintf(text, sizeof text, "Program Change %d on channel %d", int(number), int(channel));
        break;
    }
    return std::string("Last heard: ") + text;
}

} // namespace

zbFootswitchWindow::zbFootswitchWindow(BMessenger mainWindow, const Footswitch& shown)
    : BWindow(kWindowFrame, "Zimbrel \u2014 Footswitch", B_TITLED_WINDOW,
        B_NOT_ZOOMABLE | B_NOT_RESIZABLE | B_CLOSE_ON_ESCAPE)
    , fMainWindow(mainWindow)
{
    SetName("footswitch");
    const float width = kWindowFrame.Width() - 10;
    fSource = ChoiceField(BRect(10, 10, width, 34), 0, "Footswitch:",
        { kFootswitchSourceLabels[0], kFootswitchSourceLabels[1], kFootswitchSourceLabels[2] });
    AddChild(fSource);
    fNumber = new BTextControl(BRect(10, 40, 200, 64), "number", "Number:", "", new BMessage(kNumberEdited));
    fNumber->SetDivider(kDivider);
    AddChild(fNumber);
    fChannel = ChoiceField(BRect(10, 70, width, 94), 1, "Channel:", ChannelLabels());
    AddChild(fChannel);
    fAction = ChoiceField(BRect(10, 100, width, 124), 2, "Action:",
        { kFootswitchActionLabels[0], kFootswitchActionLabels[1] });
    AddChild(fAction);
    fNote = new BStringView(BRect(10, 130, width, 148), "note", "");
    AddChild(fNote);
    fHeardLine = new BStringView(BRect(10, 152, width - 70, 170), "heard", "Last heard: nothing yet");
    AddChild(fHeardLine);
    AddChild(new BButton(BRect(width - 60, 148, width, 172), "use", "Use", new BMessage(kUseHeard)));
    AddChild(new BStringView(BRect(10, 180, width, 198), "programs",
        "Program Change N loads preset N of the list."));
    for (BMenuField* field : { fSource, fChannel, fAction })
        field->Menu()->SetTargetForItems(BMessenger(this));
    ShowFootswitch(shown);
    fSource->MakeFocus();
}

void zbFootswitchWindow::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kShowFootswitch: {
        Footswitch footswitch;
        std::string why;
        if (FindFootswitch(*message, &footswitch, &why) == B_OK)
            ShowFootswitch(footswitch);
        break;
    }
    case kFootswitchHeard: Heard(*message); break;
    case kRaiseFootswitch: Activate(); break;
    case kNumberEdited: NumberEdited(); break;
    case kChoiceMade: {
        Footswitch proposed = fShown;
        const int32 value = message->FindInt32("value");
        switch (message->FindInt32("field")) {
        case 0: proposed.source = Footswitch::Source(value); break;
        case 1: proposed.channel = value; break;
        case 2: proposed.action = Footswitch::Action(value); break;
        default: return;
        }
        Propose(proposed);
        break;
    }
    case kUseHeard:
        if (fHeard) {
            Footswitch proposed = *fHeard;
            proposed.action = fShown.action;
            Propose(proposed);
        } else {
            fNote->SetText("Press the pedal first: nothing was heard yet.");
        }
        break;
    default: BWindow::MessageReceived(message); break;
    }
}

void zbFootswitchWindow::Propose(const Footswitch& footswitch)
{
    BMessage change(kConfigureFootswitch);
    AddFootswitch(&change, footswitch);
    fMainWindow.SendMessage(&change);
}

void zbFootswitchWindow::NumberEdited()
{
    const char* text = fNumber->Text();
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || value < 0 || value > 127) {
        // Said where it was typed; the field shows what is kept.
        const std::string refusal = std::string("\"") + text + "\" not taken: a whole number, 0 to 127.";
        std::fprintf(stderr, "Footswitch number %s\n", refusal.c_str());
        fNote->SetText(refusal.c_str());
        fNumber->SetText(std::to_string(fShown.number).c_str());
        return;
    }
    Footswitch proposed = fShown;
    proposed.number = int32(value);
    Propose(proposed);
}

void zbFootswitchWindow::ShowFootswitch(const Footswitch& footswitch)
{
    fShown = footswitch;
    if (BMenuItem* item = fSource->Menu()->ItemAt(int32(footswitch.source)))
        item->SetMarked(true);
    if (BMenuItem* item = fChannel->Menu()->ItemAt(footswitch.channel))
        item->SetMarked(true);
    if (BMenuItem* item = fAction->Menu()->ItemAt(int32(footswitch.action)))
        item->SetMarked(true);
    fNumber->SetText(std::to_string(footswitch.number).c_str());
    fNote->SetText("");
}

void zbFootswitchWindow::Heard(const BMessage& received)
{
    fHeardLine->SetText(DescribeHeard(received).c_str());
    const auto kind = ReceivedKind(received.FindInt32("kind"));
    if (kind == ReceivedKind::ProgramChange)
        return;
    Footswitch heard;
    heard.source = kind == ReceivedKind::ControlChange ? Footswitch::Source::ControlChange : Footswitch::Source::Note;
    heard.channel = received.FindInt32("channel") + 1;
    heard.number = received.FindInt32("number");
    fHeard = heard;
}
