#include "mapping/zbMeters.h"

#include "platform/midi/MidiConsumer.h"
#include "platform/midi/MidiProducer.h"
#include "platform/midi/MidiRoster.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The panel's rows start at y = 70 and are 30 high; its columns end at
// x = 380, which leaves a strip 20 wide on the right for the bars, and
// rows end at y = 250, which leaves the band below for the lamp and line.
constexpr float kFirstRowTop = 70;
constexpr float kRowHeight = 30;
constexpr BRect kBar(384, 3, 395, 26); // within a row
// Right of the Sending switch.
constexpr BRect kLamp(98, 263, 109, 274);
constexpr BRect kConnectionLine(116, 256, 380, 281);
constexpr const char* kBarNames[]
    = { "y meter", "x meter", "pressure meter", "red meter", "green meter", "blue meter" };

// The panel's row of a cursor data field: Vertical, Horizontal, Pressure,
// Red, Green, Blue. The first letters tell the six fields apart.
int RowOf(const char* field)
{
    switch (field[0]) {
    case 'y': return 0;
    case 'x': return 1;
    case 'p': return 2;
    case 'r': return 3;
    case 'g': return 4;
    case 'b': return 5;
    default: return -1;
    }
}

bool MetersTurnedOff()
{
    const char* setting = std::getenv("ZIMBREL_METERS");
    if (setting == nullptr || *setting == '\0' || std::strcmp(setting, "on") == 0)
        return false;
    if (std::strcmp(setting, "off") == 0)
        return true;
    std::fprintf(stderr, "ZIMBREL_METERS is \"%s\", neither on nor off: the meters are on\n", setting);
    return false;
}

} // namespace

void zbMeters::AddTo(BWindow* window, BRect panel, rgb_color panelColor)
{
    if (window == nullptr || MetersTurnedOff())
        return;
    const BPoint origin = panel.LeftTop();
    for (int row = 0; row < kRows; ++row) {
        fBars[row] = new BMeterView(kBar.OffsetByCopy(origin.x, origin.y + kFirstRowTop + row * kRowHeight),
            kBarNames[row], B_METER_BAR);
        fBars[row]->SetViewColor(panelColor);
        window->AddChild(fBars[row]);
    }
    fLamp = new BMeterView(kLamp.OffsetByCopy(origin.x, origin.y), "sending", B_METER_LAMP);
    fLamp->SetViewColor(panelColor);
    window->AddChild(fLamp);
    fConnections = new BStringView(kConnectionLine.OffsetByCopy(origin.x, origin.y), "connections", "");
    fConnections->SetViewColor(panelColor);
    window->AddChild(fConnections);
    ShowConnections(fConnected);
}

void zbMeters::Sent(const char* field, uchar value)
{
    const int row = RowOf(field);
    if (row >= 0 && fBars[row] != nullptr)
        fBars[row]->SetLevel(value);
}

void zbMeters::ShowRow(const char* field, const cfg& record, bool mayPlay)
{
    const int row = RowOf(field);
    if (row < 0 || fBars[row] == nullptr)
        return;
    const bool live
        = mayPlay && record.enabled && record.controller >= 0 && record.controller < kControllerOff;
    if (!live)
        fBars[row]->SetDimmed();
    else if (fBars[row]->Level() == MeterState::kDimmed)
        fBars[row]->SetLevel(0); // on, and nothing sent yet
}

void zbMeters::Sending(uint32 sentSoFar)
{
    if (sentSoFar == fSent)
        return;
    fSent = sentSoFar;
    // Lit only for what reaches someone.
    if (fLamp != nullptr && fConnected > 0)
        fLamp->Pulse();
}

void zbMeters::ShowConnections(int32 connected)
{
    fConnected = connected;
    char line[64];
    if (connected <= 0)
        std::snprintf(line, sizeof line, "nothing connected");
    else
        std::snprintf(line, sizeof line, "connected to %d consumer%s", int(connected), connected == 1 ? "" : "s");
    ShowLine(line);
}

void zbMeters::ShowConnections(BMidiProducer* producer)
{
    if (const std::string trouble = BMidiRoster::Trouble(); !trouble.empty()) {
        fConnected = 0;
        ShowLine(trouble);
        return;
    }
    int32 connected = 0;
    int32 id = 0;
    while (BMidiConsumer* consumer = BMidiRoster::NextConsumer(&id)) {
        connected += producer->IsConnected(consumer);
        consumer->Release();
    }
    ShowConnections(connected);
}

void zbMeters::ShowPaused(bool paused)
{
    fPaused = paused;
    ShowLine(fState);
}

void zbMeters::ShowLine(const std::string& state)
{
    fState = state;
    if (fConnections != nullptr)
        fConnections->SetText(((fPaused ? "MIDI out: paused, " : "MIDI out: ") + state).c_str());
}
