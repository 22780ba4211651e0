#pragma once

// BPlotView: a line through points of the unit square (0.0..1.0 both ways,
// y upward) drawn on a framed plot, and a mark on the line at an x that
// another thread may move: a relaxed atomic store, with no lock, no
// allocation and no display command. The display samples the mark while the
// plot is on screen.
//
// Thread rules: as for views, except the mark (see Mark).

#include "platform/display/MeterState.h"
#include "platform/interface/View.h"

#include <memory>
#include <vector>

class BPlotView : public BView {
public:
    // The mark's x runs from 0 to kMarkScale; MeterState::kDimmed hides it.
    static constexpr uint16 kMarkScale = 16383;

    BPlotView(BRect frame, const char* name, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
        uint32 flags = B_WILL_DRAW);

    void SetPoints(std::vector<BPoint> points);
    const std::vector<BPoint>& Points() const { return fPoints; }
    // Shared with whoever moves the mark, on any one thread.
    std::shared_ptr<MeterState> Mark() const { return fMark; }

protected:
    void CreatePeer(DisplayService& display) override;

private:
    std::vector<BPoint> fPoints;
    std::shared_ptr<MeterState> fMark;
};
