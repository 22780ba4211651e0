#include "platform/display/HeadlessDisplay.h"

#include "platform/app/AppDefs.h"
#include "platform/display/DisplayMessages.h"
#include "platform/display/MeterState.h"

#include <algorithm>
#include <chrono>

namespace {

int64 Now()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

template <typename Map> auto Lookup(Map& map, PeerId peer) -> decltype(&map.begin()->second)
{
    auto found = map.find(peer);
    return found == map.end() ? nullptr : &found->second;
}

} // namespace

void HeadlessDisplay::CreateWindow(PeerId window, const WindowInfo& info)
{
    std::lock_guard lock(fLock);
    fWindows[window] = WindowRecord { info };
}

void HeadlessDisplay::ShowWindow(PeerId window, bool shown)
{
    std::lock_guard lock(fLock);
    if (WindowRecord* record = Lookup(fWindows, window))
        record->shown = shown;
}

void HeadlessDisplay::SetWindowTitle(PeerId window, const std::string& title)
{
    std::lock_guard lock(fLock);
    if (WindowRecord* record = Lookup(fWindows, window))
        record->info.title = title;
}

void HeadlessDisplay::MoveWindow(PeerId window, BPoint where)
{
    std::lock_guard lock(fLock);
    if (WindowRecord* record = Lookup(fWindows, window))
        record->info.frame.OffsetTo(where.x, where.y);
}

void HeadlessDisplay::ActivateWindow(PeerId window)
{
    std::lock_guard lock(fLock);
    if (WindowRecord* record = Lookup(fWindows, window))
        ++record->activations;
}

// Nothing is shown, so there is no screen to fill and no picture to show.
void HeadlessDisplay::ToggleFullScreen(PeerId /*window*/) { }
void HeadlessDisplay::OpenPicture(PeerId /*view*/, const std::string& /*path*/, bool /*fitWindow*/) { }
void HeadlessDisplay::ChoosePicture(PeerId /*view*/) { }
void HeadlessDisplay::PastePicture(PeerId /*view*/) { }

void HeadlessDisplay::DestroyWindow(PeerId window)
{
    std::lock_guard lock(fLock);
    fWindows.erase(window);
    std::erase_if(fViews, [&](const auto& entry) { return entry.second.info.window == window; });
    std::erase_if(fItems, [&](const auto& entry) {
        const MenuRecord* menu = Lookup(fMenus, entry.second.container);
        return menu == nullptr || menu->info.window == window;
    });
    std::erase_if(fMenus, [&](const auto& entry) { return entry.second.info.window == window; });
}

void HeadlessDisplay::CreateView(PeerId view, const ViewInfo& info)
{
    std::lock_guard lock(fLock);
    fViews[view] = ViewRecord { info };
    if (info.kind == ViewKind::MenuBar) {
        MenuRecord& bar = fMenus[view];
        bar.info = MenuInfo { info.window, info.handler, info.name, false, {} };
        bar.isMenuBar = true;
    }
}

void HeadlessDisplay::SetViewFrame(PeerId view, BRect frame)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, view))
        record->info.frame = frame;
}

void HeadlessDisplay::SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, view)) {
        record->info.viewColor = viewColor;
        record->info.highColor = highColor;
    }
}

void HeadlessDisplay::SetViewText(PeerId view, const std::string& text)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, view))
        record->info.text = text;
}

void HeadlessDisplay::SetFieldValue(PeerId field, const std::string& value)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, field))
        record->info.value = value;
}

void HeadlessDisplay::SetDivider(PeerId field, float divider)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, field))
        record->info.divider = divider;
}

void HeadlessDisplay::InvalidateView(PeerId view)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        ViewRecord* record = Lookup(fViews, view);
        if (record == nullptr)
            return;
        ++record->invalidations;
        if (record->info.kind != ViewKind::Plain)
            return;
        address = WindowAddress(record->info.window);
        address.handler = record->info.handler;
    }
    // Nothing to draw here, so the redraw the view asked for is done at once.
    BMessage update(kViewUpdate);
    update.AddInt64(kPeerField, int64(view));
    address.Post(update);
}

void HeadlessDisplay::DestroyView(PeerId view)
{
    std::lock_guard lock(fLock);
    ForgetView(view);
}

void HeadlessDisplay::CreateMenu(PeerId menu, const MenuInfo& info)
{
    std::lock_guard lock(fLock);
    MenuRecord& record = fMenus[menu];
    record.info = info;
    record.info.items.clear();
    for (const MenuItemInfo& item : info.items) {
        record.items.push_back(item.item);
        fItems[item.item] = ItemRecord { menu, item };
    }
}

void HeadlessDisplay::SetMenuRadio(PeerId menu, bool radio)
{
    std::lock_guard lock(fLock);
    if (MenuRecord* record = Lookup(fMenus, menu))
        record->info.radio = radio;
}

void HeadlessDisplay::DestroyMenu(PeerId menu)
{
    std::lock_guard lock(fLock);
    ForgetMenu(menu);
}

void HeadlessDisplay::AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info)
{
    std::lock_guard lock(fLock);
    MenuRecord* menu = Lookup(fMenus, container);
    if (menu == nullptr)
        return;
    // An item lives in one container; one added elsewhere has moved.
    if (const ItemRecord* previous = Lookup(fItems, info.item))
        if (MenuRecord* from = Lookup(fMenus, previous->container))
            std::erase(from->items, info.item);
    const auto at
        = index >= 0 && size_t(index) <= menu->items.size() ? menu->items.begin() + index : menu->items.end();
    menu->items.insert(at, info.item);
    fItems[info.item] = ItemRecord { container, info };
}

void HeadlessDisplay::RemoveMenuItem(PeerId container, PeerId item)
{
    std::lock_guard lock(fLock);
    if (MenuRecord* menu = Lookup(fMenus, container))
        std::erase(menu->items, item);
    fItems.erase(item);
}

void HeadlessDisplay::SetItemLabel(PeerId item, const std::string& label)
{
    std::lock_guard lock(fLock);
    if (ItemRecord* record = Lookup(fItems, item))
        record->info.label = label;
}

void HeadlessDisplay::SetItemMarked(PeerId item, bool marked)
{
    std::lock_guard lock(fLock);
    if (ItemRecord* record = Lookup(fItems, item))
        record->info.marked = marked;
}

void HeadlessDisplay::SetItemEnabled(PeerId item, bool enabled)
{
    std::lock_guard lock(fLock);
    if (ItemRecord* record = Lookup(fItems, item))
        record->info.enabled = enabled;
}

void HeadlessDisplay::Acknowledge(int64 token)
{
    {
        std::lock_guard lock(fLock);
        fTokens.insert(token);
    }
    fAcknowledged.notify_all();
}

bool HeadlessDisplay::OpenMenus(PeerId window)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        WindowRecord* record = Lookup(fWindows, window);
        const bool hasMenuBar = std::any_of(fViews.begin(), fViews.end(), [&](const auto& entry) {
            return entry.second.info.window == window && entry.second.info.kind == ViewKind::MenuBar;
        });
        if (record == nullptr || !hasMenuBar)
            return false;
        if (record->menusOpen)
            return true;
        record->menusOpen = true;
        address = WindowAddress(window);
    }
    const int64 token = int64(NewPeerId());
    BMessage beginning(kMenusBeginning);
    beginning.AddInt64(kTokenField, token);
    address.Post(beginning);
    return WaitForAcknowledgement(token, kMenusBeginningTimeout);
}

bool HeadlessDisplay::Pick(PeerId menu, const std::string& label)
{
    PeerAddress address;
    BMessage pick(kMenuItemPicked);
    {
        std::lock_guard lock(fLock);
        const MenuRecord* record = Lookup(fMenus, menu);
        const ItemRecord* item = FindItem(menu, label);
        if (record == nullptr || item == nullptr || !item->info.enabled || item->info.submenu != 0)
            return false;
        if (InMenuBar(menu)) {
            const WindowRecord* window = Lookup(fWindows, record->info.window);
            if (window == nullptr || !window->menusOpen)
                return false;
        }
        address = WindowAddress(record->info.window);
        address.handler = record->info.handler;
        pick.AddInt64(kItemField, int64(item->info.item));
    }
    address.Post(pick);
    return true;
}

void HeadlessDisplay::CloseMenus(PeerId window)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        WindowRecord* record = Lookup(fWindows, window);
        if (record == nullptr || !record->menusOpen)
            return;
        record->menusOpen = false;
        address = WindowAddress(window);
    }
    address.Post(BMessage(kMenusEnded));
}

bool HeadlessDisplay::Click(PeerId view, BPoint where)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        const ViewRecord* record = Lookup(fViews, view);
        if (record == nullptr
            || (record->info.kind != ViewKind::Plain && record->info.kind != ViewKind::StringView))
            return false;
        address = WindowAddress(record->info.window);
        address.handler = record->info.handler;
    }
    const std::pair<uint32, int32> pressThenRelease[]
        = { { B_MOUSE_DOWN, B_PRIMARY_MOUSE_BUTTON }, { B_MOUSE_UP, 0 } };
    for (const auto& [what, buttons] : pressThenRelease) {
        BMessage event(what);
        event.AddInt64("when", Now());
        event.AddPoint("where", where);
        event.AddInt32("buttons", buttons);
        event.AddInt64(kPeerField, int64(view));
        address.Post(event);
    }
    return true;
}

void HeadlessDisplay::PressCloseBox(PeerId window)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        address = WindowAddress(window);
    }
    address.Post(BMessage(B_QUIT_REQUESTED));
}

void HeadlessDisplay::SetViewPoints(PeerId view, const std::vector<BPoint>& points)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, view))
        record->info.points = points;
}

void HeadlessDisplay::MakeFocus(PeerId view)
{
    std::lock_guard lock(fLock);
    if (ViewRecord* record = Lookup(fViews, view))
        if (WindowRecord* window = Lookup(fWindows, record->info.window))
            window->focus = view;
}

bool HeadlessDisplay::Press(PeerId control)
{
    PeerAddress address;
    int32 value = 0;
    {
        std::lock_guard lock(fLock);
        ViewRecord* record = Lookup(fViews, control);
        if (record == nullptr || (record->info.kind != ViewKind::Button && record->info.kind != ViewKind::CheckBox))
            return false;
        if (record->info.kind == ViewKind::CheckBox) {
            value = record->info.value == "1" ? 0 : 1;
            record->info.value = std::to_string(value);
        }
        address = WindowAddress(record->info.window);
        address.handler = record->info.handler;
    }
    BMessage invoked(kControlInvoked);
    invoked.AddInt32(kValueField, value);
    invoked.AddInt64(kPeerField, int64(control));
    address.Post(invoked);
    return true;
}

std::vector<BPoint> HeadlessDisplay::PlotPoints(PeerId plot) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, plot);
    return record != nullptr ? record->info.points : std::vector<BPoint> {};
}

PeerId HeadlessDisplay::FocusedView(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr ? record->focus : 0;
}

bool HeadlessDisplay::TypeText(PeerId control, const std::string& text)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        ViewRecord* record = Lookup(fViews, control);
        if (record == nullptr || record->info.kind != ViewKind::TextControl)
            return false;
        record->info.value = text; // the field shows what was typed
        address = WindowAddress(record->info.window);
        address.handler = record->info.handler;
    }
    BMessage commit(kTextCommitted);
    commit.AddString(kTextField, text.c_str());
    address.Post(commit);
    return true;
}

bool HeadlessDisplay::Settle(PeerId window)
{
    PeerAddress address;
    {
        std::lock_guard lock(fLock);
        address = WindowAddress(window);
    }
    if (!address.queue)
        return false;
    // Two rounds: the first waits for what was posted so far, the second for
    // what handling that posted to the window in turn (a pick's invocation,
    // the end of the menus).
    for (int round = 0; round < 2; ++round) {
        const int64 token = int64(NewPeerId());
        BMessage sync(kSynchronize);
        sync.AddInt64(kTokenField, token);
        address.Post(sync);
        if (!WaitForAcknowledgement(token, kSettleTimeout))
            return false;
    }
    return true;
}

PeerId HeadlessDisplay::FindWindow(const std::string& title) const
{
    std::lock_guard lock(fLock);
    for (auto entry = fWindows.rbegin(); entry != fWindows.rend(); ++entry)
        if (entry->second.info.title == title)
            return entry->first;
    return 0;
}

int32 HeadlessDisplay::CountWindows(const std::string& title) const
{
    std::lock_guard lock(fLock);
    return int32(std::count_if(fWindows.begin(), fWindows.end(),
        [&](const auto& entry) { return entry.second.info.title == title; }));
}

bool HeadlessDisplay::IsShown(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr && record->shown;
}

int32 HeadlessDisplay::Activations(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr ? record->activations : 0;
}

bool HeadlessDisplay::MenusOpen(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr && record->menusOpen;
}

BRect HeadlessDisplay::WindowFrame(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr ? record->info.frame : BRect();
}

uint32 HeadlessDisplay::WindowFlags(PeerId window) const
{
    std::lock_guard lock(fLock);
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr ? record->info.flags : 0;
}

PeerId HeadlessDisplay::FindView(PeerId window, const std::string& name) const
{
    std::lock_guard lock(fLock);
    for (const auto& [peer, record] : fViews)
        if (record.info.window == window && record.info.name == name)
            return peer;
    return 0;
}

PeerId HeadlessDisplay::FindMenu(PeerId window, const std::string& title) const
{
    std::lock_guard lock(fLock);
    for (const auto& [peer, record] : fMenus)
        if (record.info.window == window && !record.isMenuBar && record.info.title == title)
            return peer;
    return 0;
}

PeerId HeadlessDisplay::FieldMenu(PeerId field) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, field);
    return record != nullptr ? record->info.menu : 0;
}

PeerId HeadlessDisplay::ViewParent(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->info.parent : 0;
}

BRect HeadlessDisplay::ViewFrame(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->info.frame : BRect();
}

rgb_color HeadlessDisplay::ViewColor(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->info.viewColor : rgb_color {};
}

rgb_color HeadlessDisplay::HighColor(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->info.highColor : rgb_color {};
}

std::string HeadlessDisplay::ViewText(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->info.text : std::string();
}

std::string HeadlessDisplay::FieldValue(PeerId field) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, field);
    return record != nullptr ? record->info.value : std::string();
}

float HeadlessDisplay::Divider(PeerId field) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, field);
    return record != nullptr ? record->info.divider : 0.0f;
}

int32 HeadlessDisplay::Invalidations(PeerId view) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, view);
    return record != nullptr ? record->invalidations : 0;
}

int32 HeadlessDisplay::MeterLevel(PeerId meter) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, meter);
    return record != nullptr && record->info.meter ? int32(record->info.meter->Level()) : -1;
}

int64 HeadlessDisplay::MeterPulses(PeerId meter) const
{
    std::lock_guard lock(fLock);
    const ViewRecord* record = Lookup(fViews, meter);
    return record != nullptr && record->info.meter ? int64(record->info.meter->Pulses()) : -1;
}

std::vector<std::string> HeadlessDisplay::ItemLabels(PeerId container) const
{
    std::lock_guard lock(fLock);
    std::vector<std::string> labels;
    if (const MenuRecord* menu = Lookup(fMenus, container))
        for (PeerId item : menu->items)
            labels.push_back(Lookup(fItems, item)->info.label);
    return labels;
}

std::vector<std::string> HeadlessDisplay::MarkedLabels(PeerId container) const
{
    std::lock_guard lock(fLock);
    std::vector<std::string> labels;
    if (const MenuRecord* menu = Lookup(fMenus, container))
        for (PeerId item : menu->items)
            if (const ItemRecord* record = Lookup(fItems, item); record->info.marked)
                labels.push_back(record->info.label);
    return labels;
}

bool HeadlessDisplay::IsRadio(PeerId menu) const
{
    std::lock_guard lock(fLock);
    const MenuRecord* record = Lookup(fMenus, menu);
    return record != nullptr && record->info.radio;
}

bool HeadlessDisplay::ItemEnabled(PeerId container, const std::string& label) const
{
    std::lock_guard lock(fLock);
    const ItemRecord* item = FindItem(container, label);
    return item != nullptr && item->info.enabled;
}

bool HeadlessDisplay::WaitForAcknowledgement(int64 token, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(fLock);
    const bool answered = fAcknowledged.wait_for(lock, timeout, [&] { return fTokens.count(token) != 0; });
    fTokens.erase(token);
    return answered;
}

PeerAddress HeadlessDisplay::WindowAddress(PeerId window) const
{
    const WindowRecord* record = Lookup(fWindows, window);
    return record != nullptr ? PeerAddress { record->info.queue, nullptr } : PeerAddress {};
}

bool HeadlessDisplay::InMenuBar(PeerId menu) const
{
    // Walk up from the menu through the items that open it; a menu may hang
    // under several levels of submenus before it reaches the bar.
    for (PeerId current = menu; current != 0;) {
        const MenuRecord* record = Lookup(fMenus, current);
        if (record == nullptr)
            return false;
        if (record->isMenuBar)
            return true;
        const auto opener = std::find_if(fItems.begin(), fItems.end(),
            [&](const auto& entry) { return entry.second.info.submenu == current; });
        current = opener == fItems.end() ? 0 : opener->second.container;
    }
    return false;
}

void HeadlessDisplay::ForgetView(PeerId view)
{
    std::vector<PeerId> children;
    for (const auto& [peer, record] : fViews)
        if (record.info.parent == view)
            children.push_back(peer);
    for (PeerId child : children)
        ForgetView(child);
    if (fMenus.count(view) != 0) // a menu bar is its own item container
        ForgetMenu(view);
    fViews.erase(view);
}

void HeadlessDisplay::ForgetMenu(PeerId menu)
{
    if (MenuRecord* record = Lookup(fMenus, menu))
        for (PeerId item : record->items)
            fItems.erase(item);
    fMenus.erase(menu);
}

const HeadlessDisplay::ItemRecord* HeadlessDisplay::FindItem(PeerId container, const std::string& label) const
{
    const MenuRecord* menu = Lookup(fMenus, container);
    if (menu == nullptr)
        return nullptr;
    for (PeerId item : menu->items)
        if (const ItemRecord* record = Lookup(fItems, item); record->info.label == label)
            return record;
    return nullptr;
}
