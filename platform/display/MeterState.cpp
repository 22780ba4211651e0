#include "platform/display/MeterState.h"

static_assert(MeterWatch::kIdleFrames > MeterWatch::kLampFrames, "a lamp goes dark before its meter sleeps");

MeterWatch::MeterWatch(const MeterState& state)
    : fShown { state.Level(), false }
    , fPulses(state.Pulses())
{
}

MeterWatch::Step MeterWatch::Frame(MeterState& state)
{
    const uint16 level = state.Level();
    const uint32 pulses = state.Pulses();
    const bool fresh = level != fShown.level || pulses != fPulses;
    if (pulses != fPulses) {
        fPulses = pulses;
        fLitFrames = kLampFrames;
    } else if (fLitFrames > 0) {
        --fLitFrames;
    }
    if (fresh) {
        fIdleFrames = 0;
        state.SetWatched(true);
    } else if (fIdleFrames < kIdleFrames + kLingerFrames) {
        ++fIdleFrames;
    }
    // Letting go on every idle frame, not just the first: a wake that came
    // with nothing new to show set it again.
    if (fIdleFrames >= kIdleFrames)
        state.SetWatched(false);
    const Look look { level, fLitFrames > 0 };
    if (look != fShown) {
        fShown = look;
        return Step::Repaint;
    }
    return fIdleFrames >= kIdleFrames + kLingerFrames ? Step::Stop : Step::Keep;
}
