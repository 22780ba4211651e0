#pragma once

// The settings window of one row of the panel: what the row sends (Control
// Change, 14-bit Control Change, NRPN, Pitch Bend, Channel Pressure), the
// NRPN number, the response curve with a plot of it on which the row's
// current input is marked, the threshold, the smoothing, and the switch that
// lets this row alone send. A change applies at once: the window sends it to
// the mapping view, which keeps the settings and answers with what it now
// holds. Escape closes the window.
//
// Thread rules: the window's own thread, like every window; it reaches the
// mapping view only through messages.

#include "mapping/RowOutput.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/PlotView.h"
#include "platform/interface/StringView.h"
#include "platform/interface/TextControl.h"
#include "platform/interface/Window.h"

#include <memory>

enum : uint32 {
    // To the mapping view: int16 "row" and the settings that change (the
    // fields of AddRowOutput without a prefix, bool "solo").
    kConfigureRow = 'vROW',
    // To the mapping view: open the settings window of int16 "row".
    kOpenRowSettings = 'vROP',
    // To the mapping view: the settings window of int16 "row" closed.
    kRowSettingsClosed = 'vRCL',
    // To a settings window: what its row holds now (the fields of
    // AddRowOutput, bool "solo", int16 "controller").
    kShowRowSettings = 'vRSH',
    // To a settings window: come to the front.
    kRaiseRowSettings = 'vRRA',
};

class zbRowWindow : public BWindow {
public:
    // `row` counts the panel's rows from the top; `label` names it.
    zbRowWindow(int row, const char* label, BMessenger mappingView);

    void MessageReceived(BMessage* message) override;
    bool QuitRequested() override;

    // Where the row's input is marked on the plot; set from another thread.
    std::shared_ptr<MeterState> InputMark() const { return fPlot->Mark(); }

private:
    BTextControl* AddNumberField(float top, int index, const char* label);
    void ShowSettings(const BMessage& settings);
    void NumberEdited(BMessage* message);

    int fRow;
    BMessenger fMappingView;
    RowOutput fShown;
    BMenuField* fOutputField;
    BStringView* fNote;
    BMenuField* fCurveField;
    // NRPN number, curve amount, threshold and smoothing.
    BTextControl* fNumbers[4];
    bool fNumbersShown = false;
    BCheckBox* fSolo;
    BPlotView* fPlot;
};
