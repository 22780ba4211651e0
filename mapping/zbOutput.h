#pragma once

// The mapping view: it keeps the MIDI channel and one mapping record per
// quantity of the cursor data, turns each cursor data message into Control
// Changes through the program's MIDI producer, and carries the control
// panel through which the user configures the records.
//
// Everything here runs on the main window's thread.

#include "mapping/cfg.h"
#include "mapping/zbMeters.h"
#include "mapping/zbNode.h"
#include "midi/myMidi.h"
#include "platform/interface/Bitmap.h"

extern const char* LARGE_ICON_NAME;
extern const char* MINI_ICON_NAME;

class zbOutput : public zbNode {
public:
    explicit zbOutput(const char* name);
    ~zbOutput() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void Draw(BRect updateRect) override;

    void Configure(cfg& record, BMessage* message);
    void CursorToMidi(cfg record, BMessage* message, const char* field);
    void ButtonToMidi(cfg record, BMessage* message, const char* field);

    void GetIcons(BBitmap* large, BBitmap* mini);
    void AddIcons(BMessage* properties, BBitmap* large, BBitmap* mini) const;

    BHandler* panelTarget = nullptr;
    myMidi* producer;
    int16 channel;
    cfg blue;
    cfg red;
    cfg x;
    cfg y;
    cfg pressure;
    cfg green;
    zbMeters meters;

private:
    void ToggleConnection(BMessage* message);
    void SetDefaults();
    void ShowLiveRows();
    void AttachIcons();
    void AddControllerColumn();
    void AddRangeColumn(BRect header, const char* headerText, const char* headerName,
                        const char* menuTitle, const char* field, const char* const fieldNames[]);
};
