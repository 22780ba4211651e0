#pragma once

// The mapping view: it keeps the MIDI channel and one mapping record per
// quantity of the cursor data, turns each cursor data message into Control
// Changes through the program's MIDI producer, and carries the control
// panel through which the user configures the records and the preset
// controls that save the whole mapping under a name and bring it back.
//
// Everything here runs on the main window's thread.

#include "mapping/PresetFile.h"
#include "mapping/RowOutput.h"
#include "mapping/cfg.h"
#include "mapping/zbMeters.h"
#include "mapping/zbNode.h"
#include "midi/myMidi.h"
#include "platform/interface/Bitmap.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/PopUpMenu.h"
#include "platform/interface/TextControl.h"
#include "platform/display/MeterState.h"
#include "platform/storage/Entry.h"

#include <memory>
#include <string>

class BCheckBox;

// Turns the Sending switch over: the panel's check box, the Sending menu's
// item and the Pause key.
constexpr uint32 kToggleSending = 'zSND';
// Chooses what lets the pointer play: "mode" (int32), a PlayMode.
constexpr uint32 kChoosePlayMode = 'zPLY';

// What lets the pointer play, while Sending is on: anything, a mouse button
// or the pen's tip that is down, or the Pause key held down.
enum class PlayMode : int32 { Always, WhileDown, WhilePauseHeld };

extern const char* LARGE_ICON_NAME;
extern const char* MINI_ICON_NAME;

class zbOutput : public zbNode {
public:
    explicit zbOutput(const char* name);
    ~zbOutput() override;

    void MessageReceived(BMessage* message) override;
    void AttachedToWindow() override;
    void Draw(BRect updateRect) override;
    // Moves every gliding row one step on while something glides.
    void Pulse() override;

    void Configure(cfg& record, BMessage* message);
    void CursorToMidi(cfg record, BMessage* message, const char* field);
    void ButtonToMidi(cfg record, BMessage* message, const char* field);

    // The program's one switch: while it is off nothing is sent, gliding
    // rows stop where they stand, and the meters say so.
    void SetSending(bool on);
    bool IsSending() const { return sending; }
    // Who plays, which presets keep; the main window tells the relay and
    // the canvas. A preset that keeps another choice sends it to the window
    // as kChoosePlayers.
    void SetPlayers(const PlayerChoice& choice);
    const PlayerChoice& Players() const { return players; }
    void SetPlayMode(PlayMode mode);
    PlayMode CurrentPlayMode() const { return playMode; }
    // The Pause key went down or up: held, it plays in PlayMode::WhilePauseHeld;
    // in the other modes a press turns Sending over.
    void PauseKey(bool down);

    // Loads the listed preset `name` as a pick in the Presets pop-up would;
    // a name that is not listed leaves the mapping as it is and says so.
    void ChoosePreset(const std::string& name);
    // Loads the preset at `index` in the Presets pop-up (0 the first), as a
    // pick would; an index past the list is said on standard error.
    void ChoosePresetAt(int32 index);

    // The channel, the records and every row setting as they stand, and
    // as a fresh start has them; applying one shows it in the panel.
    PresetMapping CurrentMapping() const;
    static PresetMapping DefaultMapping();
    void ApplyMapping(const PresetMapping& mapping);

    // Whether a folder entry is offered as a preset: every regular file is,
    // so that a file that is no preset is named when it is chosen.
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
    // What each row sends besides its record, by panel row (Vertical,
    // Horizontal, Pressure, Red, Green, Blue).
    RowOutput outputs[6];
    // The one row that sends while the others keep silent, or -1.
    int16 soloRow = -1;

    static constexpr int kRowCount = 6;

private:
    // What the engine remembers of a row between messages.
    struct RowState {
        int32 lastHighResolution = -1; // the 14-bit value last sent, or -1
        bool primed = false; // the glide has a position
        bool gliding = false; // the position has not reached the target
        bool pending = false; // a value waits for the rate limit
        double position = 0; // where the glide is, in output values
        int32 target = 0;
        bigtime_t stepped = 0; // when the position was last moved
        bigtime_t sent = 0; // when a value last went out
    };

    // Whether a cursor data message plays, by the switch and the mode.
    bool Plays(const BMessage& cursorData) const;
    void SendRow(int row, float input, bigtime_t now);
    void Emit(int row, int32 value);
    void Glide(int row, bigtime_t now);
    void ForgetSent();
    void ConfigureRow(BMessage* message);
    void OpenRowSettings(int row);
    void ShowRowSettings(int row);
    void ShowAllRowSettings();
    void ToggleConnection(BMessage* message);
    void SetDefaults();
    void ShowLiveRows();
    void AttachIcons();
    void AddControllerColumn();
    void AddRowButtons();
    void AddRangeColumn(BRect header, const char* headerText, const char* headerName, const char* menuTitle,
        const char* field, const char* const fieldNames[], int column);

    void BuildPresetControls();
    void PlacePresetControls();
    BMenuItem* NewPresetItem(const entry_ref& ref) const;
    void ListNewPreset(const char* name);
    void SavePreset(BMessage* message);
    void LoadPreset(BMessage* message);

    // The folder the presets live in, with its trailing slash.
    std::string presetFolder;
    BMenuField* presetField = nullptr;
    // The panel's menus, by row (top to bottom) and column (controller,
    // lower range, higher range), so that a load can show what it set.
    BMenu* panelMenus[6][3] = {};
    RowState rowStates[6];
    // The NRPN last selected on each channel, or -1.
    int32 selectedNrpn[16];
    // Open settings windows and the input marks of their plots.
    BMessenger rowWindows[6];
    std::shared_ptr<MeterState> inputMarks[6];
    int openRowWindows = 0;
    BCheckBox* sendingSwitch = nullptr;
    bool sending = true;
    PlayMode playMode = PlayMode::Always;
    PlayerChoice players;
    bool pauseHeld = false;
    // When the status line last looked at the links.
    bigtime_t statusShown = 0;
};
