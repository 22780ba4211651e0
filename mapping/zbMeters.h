#pragma once

// The live meters of the mapping view. Beside each row of the control
// panel, a bar shows the last value that the row's quantity sent (empty
// and dimmed while the row or the channel is off). Under the panel, a lamp
// lights while Control Changes leave the producer for a consumer, next to a
// line that says how many consumers it is connected to, that nothing is, or
// why nothing can be (no MIDI system, or a server that went away).
//
// The meters are the window's own views, laid over the free space around
// the panel, so that the panel keeps its children and its geometry.
// Setting a meter stores one value for the display to pick up; no message
// goes anywhere per Control Change.
//
// Thread rules: the main window's thread, like the mapping view.

#include "mapping/cfg.h"
#include "platform/interface/MeterView.h"
#include "platform/interface/StringView.h"
#include "platform/interface/Window.h"

#include <string>

class BMidiProducer;

class zbMeters {
public:
    // Adds the meters to `window` around a mapping view with frame `panel`,
    // on the view's colour. ZIMBREL_METERS=off in the environment leaves
    // them out; "on" or nothing keeps them, and any other value is said.
    void AddTo(BWindow* window, BRect panel, rgb_color panelColor);

    // The quantity named by a cursor data field ("x", "y", "pressure",
    // "red", "green", "blue") sent `value`.
    void Sent(const char* field, uchar value);
    // Dims the quantity's bar when it sends nothing: its record is off or
    // has no controller, or the row may not play (the channel is off,
    // Sending is paused, or another row is the only one that sends).
    void ShowRow(const char* field, const cfg& record, bool mayPlay);
    // The producer has sent `sentSoFar` Control Changes since it was made.
    void Sending(uint32 sentSoFar);
    void ShowConnections(int32 connected);
    // While paused the line starts by saying so.
    void ShowPaused(bool paused);
    // Counts the consumers the producer is connected to and shows them, or
    // why there can be none.
    void ShowConnections(BMidiProducer* producer);

    static constexpr int kRows = 6;

private:
    void ShowLine(const std::string& state);

    // The bars, top to bottom in the order of the panel's rows.
    BMeterView* fBars[kRows] = {};
    BMeterView* fLamp = nullptr;
    BStringView* fConnections = nullptr;
    uint32 fSent = 0;
    int32 fConnected = 0;
    bool fPaused = false;
    // What the line says after "MIDI out: ".
    std::string fState;
};
