#pragma once

// DisplayService: what the interface kit tells the screen, and nothing else.
//
// Windows, views, menus and items of the API live on their window's thread;
// whatever shows them (Qt on the main thread, or nothing at all) lives
// elsewhere. The two meet only through this interface: the API objects send
// asynchronous commands, naming each shown object by a peer id that they
// allocate themselves, and the display answers by posting messages to the
// window's queue, addressed to the view or menu concerned (see
// DisplayMessages.h). No command ever waits for the display.
//
// One exchange is synchronous on the display's side only: before a menu of
// a window's menu bar opens, the display posts kMenusBeginning with a token,
// the window runs its MenusBeginning hook and then calls Acknowledge(token),
// and the display waits for that acknowledgement, at most
// kMenusBeginningTimeout, applying meanwhile the commands the hook sends.
// Commands from one thread are applied in the order they were given, so
// once the acknowledgement arrives the menu is already filled.
//
// Thread rules: every command may be called from any thread; commands from
// one thread are applied in order. Install and Current may be called from
// any thread; a window keeps the display it was created with for its whole
// life (and holds a share of it).

#include "platform/app/MessageQueue.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class BHandler;
class MeterState;

// Names one shown object (window, view, menu or item) for its whole life.
// Never reused; zero names nothing (a view whose parent peer is zero sits
// directly in its window).
using PeerId = uint64;

struct WindowInfo {
    std::string title;
    BRect frame; // screen coordinates, inclusive
    window_type type = B_TITLED_WINDOW;
    uint32 flags = 0;
    rgb_color background; // what shows where no view covers the window
    // Where the display posts what happens to the window and its views.
    std::shared_ptr<MessageQueue> queue;
};

enum class ViewKind {
    Plain, // a rectangle in its view colour; posts presses, releases and redraw requests
    StringView, // one line of text in the high colour
    MenuBar, // the window's menu bar; also the container of its items
    MenuField, // a label and a pop-up button that opens `menu`
    TextControl, // a label and a one-line text field holding `value`
    MeterBar, // a level bar filled from the bottom as `meter` says, sampled by the display
    MeterLamp, // a lamp lit while `meter` keeps pulsing
    // A picture scaled to fill the view with its aspect kept and centred;
    // posts the pointer's and pen's events with the picture under them.
    Picture,
    Button, // a push button labelled `text`; posts kControlInvoked when pressed
    // A check box labelled `text`, ticked while `value` is "1"; posts
    // kControlInvoked with its new value when clicked.
    CheckBox,
    // A framed plot of the line through `points` (unit square, y upward),
    // with a mark on it at the x that `meter` holds as a level out of
    // BPlotView::kMarkScale, sampled by the display.
    Plot,
};

struct ViewInfo {
    ViewKind kind = ViewKind::Plain;
    PeerId window = 0;
    PeerId parent = 0;
    // The handler that the view's events are addressed to. The display
    // hands it back with each message and never dereferences it.
    BHandler* handler = nullptr;
    std::string name;
    BRect frame; // the parent's coordinates, inclusive
    uint32 flags = 0;
    rgb_color viewColor;
    rgb_color highColor;
    std::string text; // a string view's text, a control's label
    std::string value; // what a menu field's pop-up button shows, a text control's text
    float divider = 0; // a control's split between its label and the rest
    PeerId menu = 0; // a menu field's pop-up menu
    // What a meter shows, shared with its view (see MeterState.h).
    std::shared_ptr<MeterState> meter;
    std::vector<BPoint> points; // a plot's line
};

struct MenuItemInfo {
    PeerId item = 0;
    std::string label;
    bool marked = false;
    bool enabled = true;
    PeerId submenu = 0; // the menu that the item opens, already created
    // A key that picks the item with the command key (Ctrl), or 0.
    char shortcut = 0;
    uint32 modifiers = 0; // further modifiers the shortcut needs (B_SHIFT_KEY)
};

struct MenuInfo {
    PeerId window = 0;
    BHandler* handler = nullptr; // where picks of the menu's items are addressed
    std::string title;
    bool radio = false;
    std::vector<MenuItemInfo> items;
};

class DisplayService {
public:
    // How long the display waits for a window's MenusBeginning hook.
    static constexpr std::chrono::milliseconds kMenusBeginningTimeout { 500 };

    // The display that new windows use. Without an installed one, a
    // process-wide headless display that shows nothing.
    static std::shared_ptr<DisplayService> Current();
    // Makes `display` the one new windows use; null restores the default.
    static void Install(std::shared_ptr<DisplayService> display);

    // A fresh peer id or acknowledgement token, unique in the process.
    static PeerId NewPeerId();

    virtual ~DisplayService() = default;

    virtual void CreateWindow(PeerId window, const WindowInfo& info) = 0;
    virtual void ShowWindow(PeerId window, bool shown) = 0;
    virtual void SetWindowTitle(PeerId window, const std::string& title) = 0;
    // Fills the screen with the window, or gives it back its frame.
    virtual void ToggleFullScreen(PeerId window) = 0;
    // Puts the window's top left corner at `where` (screen coordinates).
    virtual void MoveWindow(PeerId window, BPoint where) = 0;
    // Brings the window in front of the others, with the keyboard.
    virtual void ActivateWindow(PeerId window) = 0;
    // Forgets the window together with its views, menus and items.
    virtual void DestroyWindow(PeerId window) = 0;

    virtual void CreateView(PeerId view, const ViewInfo& info) = 0;
    virtual void SetViewFrame(PeerId view, BRect frame) = 0;
    virtual void SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor) = 0;
    virtual void SetViewText(PeerId view, const std::string& text) = 0;
    // A menu field's pop-up label, a text control's text, a control's
    // value in decimal.
    virtual void SetFieldValue(PeerId field, const std::string& value) = 0;
    virtual void SetDivider(PeerId field, float divider) = 0;
    // Asks for the view to be drawn again. A plain view answers with
    // kViewUpdate once the display redraws it; a meter starts sampling its
    // state again.
    virtual void InvalidateView(PeerId view) = 0;
    virtual void SetViewPoints(PeerId view, const std::vector<BPoint>& points) = 0;
    // Gives the view the keyboard focus within its window.
    virtual void MakeFocus(PeerId view) = 0;
    // Forgets the view with its child views (a menu bar with its items).
    // The menus a view offers are destroyed by their own command.
    virtual void DestroyView(PeerId view) = 0;

    // A menu shown as a pop-up: from a menu bar, a menu field or another
    // menu, once an item that opens it is added there.
    virtual void CreateMenu(PeerId menu, const MenuInfo& info) = 0;
    virtual void SetMenuRadio(PeerId menu, bool radio) = 0;
    // Forgets the menu with its items.
    virtual void DestroyMenu(PeerId menu) = 0;

    // `container` is a menu or a menu bar; `index` counts its items.
    virtual void AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info) = 0;
    virtual void RemoveMenuItem(PeerId container, PeerId item) = 0;
    virtual void SetItemLabel(PeerId item, const std::string& label) = 0;
    virtual void SetItemMarked(PeerId item, bool marked) = 0;
    virtual void SetItemEnabled(PeerId item, bool enabled) = 0;

    // A picture view's picture (see DisplayMessages.h for the answers).
    // Decoding happens off the display's thread; until it succeeds the view
    // keeps what it showed. With `fitWindow`, the window takes the
    // picture's size, scaled down to fit 80 % of the screen.
    virtual void OpenPicture(PeerId view, const std::string& path, bool fitWindow) = 0;
    // Asks the user for a picture file, then opens it as OpenPicture does.
    virtual void ChoosePicture(PeerId view) = 0;
    // Opens the picture on the clipboard, fitting the window to it.
    virtual void PastePicture(PeerId view) = 0;

    // The answer to a message that carried kTokenField.
    virtual void Acknowledge(int64 token) = 0;

    // False where windows cannot learn their place on the screen (native
    // Wayland windows): their frames then have the right sizes at places
    // that mean nothing.
    virtual bool KnowsWindowPlaces() const { return true; }
    // Where windows go on the screen, in the units of window frames (which
    // a scale factor makes differ from the screen's pixels), without the
    // desktop's panels; an invalid rectangle when the display cannot tell.
    // Any thread.
    virtual BRect WorkArea() const { return BRect(); }
};
