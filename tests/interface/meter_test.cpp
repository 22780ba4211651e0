// The meter state shared between a view and its display, and the display's
// frame-by-frame watch over it.

#include "platform/display/MeterState.h"

#include <gtest/gtest.h>

namespace {

using Step = MeterWatch::Step;

// Runs frames until the watch stops (or gives up after `limit`), counting
// repaints.
struct FrameRun {
    int frames = 0;
    int repaints = 0;
    bool stopped = false;
};

FrameRun FramesUntilStop(MeterWatch& watch, MeterState& state, int limit = 1000)
{
    FrameRun run;
    while (run.frames < limit) {
        ++run.frames;
        const Step step = watch.Frame(state);
        run.repaints += step == Step::Repaint;
        if (step == Step::Stop) {
            run.stopped = true;
            break;
        }
    }
    return run;
}

TEST(MeterWatchTest, RepaintsOnlyWhenTheLevelChangesAndStopsWhenItRests)
{
    MeterState state;
    MeterWatch watch(state);
    EXPECT_EQ(watch.Shown().level, MeterState::kDimmed) << "a new meter is off";

    EXPECT_TRUE(state.SetLevel(40)) << "nobody watches yet: the display must be woken";
    EXPECT_FALSE(state.SetLevel(41)) << "already woken";
    EXPECT_EQ(watch.Frame(state), Step::Repaint);
    EXPECT_EQ(watch.Shown().level, 41);
    // Unchanged frames draw nothing.
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_EQ(watch.Frame(state), Step::Keep);
    state.SetLevel(90);
    EXPECT_EQ(watch.Frame(state), Step::Repaint);
    EXPECT_EQ(watch.Shown().level, 90);

    const FrameRun rest = FramesUntilStop(watch, state);
    EXPECT_TRUE(rest.stopped);
    EXPECT_EQ(rest.repaints, 0);
    EXPECT_EQ(rest.frames, MeterWatch::kIdleFrames + MeterWatch::kLingerFrames);
    EXPECT_FALSE(state.Watched());
    EXPECT_TRUE(state.SetLevel(91)) << "a stopped display must be woken again";
}

TEST(MeterWatchTest, ALevelSetJustAsTheDisplayLetsGoIsStillShown)
{
    MeterState state;
    MeterWatch watch(state);
    state.SetLevel(10);
    watch.Frame(state);
    for (int frame = 0; frame < MeterWatch::kIdleFrames; ++frame)
        ASSERT_EQ(watch.Frame(state), Step::Keep);
    ASSERT_FALSE(state.Watched());
    // The setter saw it still watching and did not wake it: the lingering
    // frames must pick the value up.
    state.SetWatched(true);
    EXPECT_FALSE(state.SetLevel(55));
    EXPECT_EQ(watch.Frame(state), Step::Repaint);
    EXPECT_EQ(watch.Shown().level, 55);
    EXPECT_TRUE(state.Watched()) << "the display watches again after a change";
    EXPECT_TRUE(FramesUntilStop(watch, state).stopped);
}

TEST(MeterWatchTest, WakeWithNothingNewLetsGoAgain)
{
    MeterState state;
    MeterWatch watch(state);
    state.SetLevel(5);
    ASSERT_TRUE(FramesUntilStop(watch, state).stopped);
    // The same value again wakes the display, which finds nothing to draw.
    EXPECT_TRUE(state.SetLevel(5));
    watch.Wake();
    const FrameRun run = FramesUntilStop(watch, state);
    EXPECT_TRUE(run.stopped);
    EXPECT_EQ(run.repaints, 0);
    EXPECT_FALSE(state.Watched()) << "a display that stopped must be wakeable";
    EXPECT_TRUE(state.SetLevel(6));
}

TEST(MeterWatchTest, LampStaysLitAFewFramesAfterThePulsesStop)
{
    MeterState state;
    MeterWatch watch(state);
    EXPECT_TRUE(state.Pulse());
    EXPECT_EQ(watch.Frame(state), Step::Repaint);
    EXPECT_TRUE(watch.Shown().lit);
    // Steady pulses keep it lit without repaints.
    for (int frame = 0; frame < 20; ++frame) {
        state.Pulse();
        EXPECT_EQ(watch.Frame(state), Step::Keep);
    }
    int litFrames = 0;
    while (watch.Frame(state) == Step::Keep)
        ++litFrames;
    EXPECT_FALSE(watch.Shown().lit) << "the lamp went dark with a repaint";
    EXPECT_EQ(litFrames, MeterWatch::kLampFrames - 1);
    const FrameRun rest = FramesUntilStop(watch, state);
    EXPECT_TRUE(rest.stopped);
    EXPECT_EQ(rest.repaints, 0);
}

} // namespace
