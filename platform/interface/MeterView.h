#pragma once

// BMeterView: a live level bar, or an activity lamp, that the display draws
// by itself. Setting a level or pulsing the lamp is a relaxed atomic store
// that costs no lock, no allocation and no display command; the display
// samples the value at most once a frame while the window is on screen, and
// only while it changes (see MeterState.h).
//
// A bar shows a level from 0 (empty) to 127 (full), or empty and dimmed when
// its source is off. A lamp is lit for a moment after each Pulse.
//
// Thread rules: as for views; SetLevel, SetDimmed and Pulse run on the
// window's thread.

#include "platform/display/MeterState.h"
#include "platform/interface/View.h"

#include <memory>

enum meter_style {
    B_METER_BAR,
    B_METER_LAMP,
};

class BMeterView : public BView {
public:
    BMeterView(BRect frame, const char* name, meter_style style,
        uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW);

    // Levels above 127 show as full.
    void SetLevel(uint8 level)
    {
        Wake(fState->SetLevel(level < MeterState::kFullLevel ? level : MeterState::kFullLevel));
    }
    void SetDimmed() { Wake(fState->SetLevel(MeterState::kDimmed)); }
    void Pulse() { Wake(fState->Pulse()); }

    // The level shown, or MeterState::kDimmed.
    uint16 Level() const { return fState->Level(); }

protected:
    void CreatePeer(DisplayService& display) override;

private:
    void Wake(bool asleep)
    {
        if (asleep)
            Invalidate();
    }

    meter_style fStyle;
    std::shared_ptr<MeterState> fState;
};
