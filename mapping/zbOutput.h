#pragma once

// The mapping view: it keeps the MIDI channel and one mapping record per
// quantity of the cursor data, turns each cursor data message into Control
// Changes through the program's MIDI producer, and carries the control
// panel through which the user configures the records and the preset
// controls that save the whole mapping under a name and bring it back.
//
// Everything here runs on the main window's thread.

#include "mapping/PresetFile.h"
#include "mapping/cfg.h"
#include "mapping/zbMeters.h"
#include "mapping/zbNode.h"
#include "midi/myMidi.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/PopUpMenu.h"
#include "platform/interface/TextControl.h"
#include "platform/storage/Entry.h"

#include <string>

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

    // Loads the listed preset `name` as a pick in the Presets pop-up would;
    // a name that is not listed leaves the mapping as it is and says so.
    void ChoosePreset(const std::string& name);

    // Whether a folder entry is offered as a preset: every entry is, so
    // that a file that is no preset is named when it is chosen.
    bool IsValidPreset(entry_ref* ref);

    void GetIcons(BBitmap* large, BBitmap* mini);
    void AddIcons(BMessage* properties, BBitmap* large, BBitmap* mini) const;

    BHandler* panelTarget = nullptr;
    myMidi* producer;
    BPopUpMenu* presetMenu;
    int16 channel;
    cfg blue;
    cfg red;
    cfg x;
    cfg y;
    cfg pressure;
    cfg green;
    BTextControl* presetName;
    zbMeters meters;

private:
    void ToggleConnection(BMessage* message);
    void SetDefaults();
    void ShowLiveRows();
    void AttachIcons();
    void AddControllerColumn();
    void AddRangeColumn(BRect header, const char* headerText, const char* headerName, const char* menuTitle,
        const char* field, const char* const fieldNames[], int column);

    void BuildPresetControls();
    void PlacePresetControls();
    BMenuItem* NewPresetItem(const entry_ref& ref) const;
    void ListNewPreset(const char* name);
    void SavePreset(BMessage* message);
    void LoadPreset(BMessage* message);
    PresetMapping CurrentMapping() const;
    void ApplyMapping(const PresetMapping& mapping);

    // The folder the presets live in, with its trailing slash.
    std::string presetFolder;
    BMenuField* presetField = nullptr;
    // The panel's menus, by row (top to bottom) and column (controller,
    // lower range, higher range), so that a load can show what it set.
    BMenu* panelMenus[6][3] = {};
};
