#include "platform/display/qt/QtPeers.h"

#include "platform/display/DisplayMessages.h"
#include "platform/display/qt/QtButton.h"
#include "platform/display/qt/QtCheckBox.h"
#include "platform/display/qt/QtConversions.h"
#include "platform/display/qt/QtDisplay.h"
#include "platform/display/qt/QtMenuField.h"
#include "platform/display/qt/QtMeterView.h"
#include "platform/display/qt/QtPictureView.h"
#include "platform/display/qt/QtPlotView.h"
#include "platform/display/qt/QtStringView.h"
#include "platform/display/qt/QtTextControl.h"
#include "platform/display/qt/QtView.h"
#include "platform/display/qt/QtWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace {

// Marks the menus of a window's menu bar with the window's peer, so that an
// open pop-up can be told to belong to the bar.
constexpr const char* kMenuBarWindowProperty = "zimbrelMenuBarWindow";

template <typename Map> auto Lookup(Map& map, PeerId peer) -> decltype(&map.begin()->second)
{
    auto found = map.find(peer);
    return found == map.end() ? nullptr : &found->second;
}

} // namespace

QtPeers::QtPeers(QtDisplay& display)
    : fDisplay(display)
{
}

QtPeers::~QtPeers()
{
    for (auto& [peer, window] : fWindows)
        delete window.data();
}

void QtPeers::CreateWindow(PeerId window, const WindowInfo& info)
{
    fWindows[window] = new QtWindow(info);
}

void QtPeers::ShowWindow(PeerId window, bool shown)
{
    QtWindow* qtWindow = Window(window);
    if (qtWindow == nullptr)
        return;
    if (shown)
        qtWindow->ApplyGeometry(); // the menu bar has its items by now
    qtWindow->setVisible(shown);
}

void QtPeers::SetWindowTitle(PeerId window, const std::string& title)
{
    if (QtWindow* qtWindow = Window(window))
        qtWindow->setWindowTitle(QString::fromStdString(title));
}

void QtPeers::ActivateWindow(PeerId window)
{
    if (QtWindow* qtWindow = Window(window)) {
        qtWindow->raise();
        qtWindow->activateWindow();
    }
}

void QtPeers::ToggleFullScreen(PeerId window)
{
    if (QtWindow* qtWindow = Window(window))
        qtWindow->SetFullScreen(!qtWindow->IsFullScreen());
}

void QtPeers::MoveWindow(PeerId window, BPoint where)
{
    if (QtWindow* qtWindow = Window(window))
        qtWindow->MoveTo(QPoint(qRound(where.x), qRound(where.y)));
}

void QtPeers::DestroyWindow(PeerId window)
{
    // Its menus will never close by themselves now.
    if (fFrozenWindow == window)
        ApplyHeldBack();
    if (QtWindow* qtWindow = Window(window)) {
        qtWindow->hide();
        // Later, because this may run inside a signal of one of its menus.
        qtWindow->deleteLater();
    }
    fWindows.erase(window);
    std::erase_if(fViews, [&](const auto& entry) { return entry.second.window == window; });
    std::erase_if(fItems, [&](const auto& entry) {
        const MenuEntry* menu = Lookup(fMenus, entry.second.container);
        return menu == nullptr || menu->window == window;
    });
    std::erase_if(fMenus, [&](const auto& entry) { return entry.second.window == window; });
}

void QtPeers::CreateView(PeerId view, const ViewInfo& info)
{
    QtWindow* window = Window(info.window);
    if (window == nullptr)
        return;
    QWidget* parent = info.parent == 0 ? window->Content() : ViewWidget<QWidget>(info.parent);
    if (parent == nullptr)
        return;
    const PeerAddress address { window->Address().queue, info.handler };
    ViewEntry entry { info.window, info.parent, info.frame, nullptr };
    switch (info.kind) {
    case ViewKind::Plain: entry.widget = new QtView(parent, info, address, view); break;
    case ViewKind::StringView: entry.widget = new QtStringView(parent, info, address, view); break;
    case ViewKind::MenuField: entry.widget = new QtMenuField(parent, info, Menu(info.menu)); break;
    case ViewKind::TextControl: entry.widget = new QtTextControl(parent, info, address); break;
    case ViewKind::MeterBar:
    case ViewKind::MeterLamp: entry.widget = new QtMeterView(parent, info, fMeterClock); break;
    case ViewKind::Button: entry.widget = new QtButton(parent, info, address, view); break;
    case ViewKind::CheckBox: entry.widget = new QtCheckBox(parent, info, address, view); break;
    case ViewKind::Plot: entry.widget = new QtPlotView(parent, info); break;
    case ViewKind::Picture: {
        // It fills the window whatever its frame, and follows every resize.
        auto* picture = new QtPictureView(parent, address, view);
        auto* layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(picture);
        picture->setFocus();
        entry.widget = picture;
        fViews[view] = entry;
        picture->show();
        return;
    }
    case ViewKind::MenuBar: {
        auto* bar = new QMenuBar;
        // A desktop-wide menu bar would take it out of the window, and the
        // window's layout relies on it being there.
        bar->setNativeMenuBar(false);
        window->SetMenuBar(bar, info.frame.bottom + 1);
        fViews[view] = ViewEntry { info.window, info.parent, info.frame, bar };
        fMenus[view] = MenuEntry { info.window, address, bar, nullptr, true };
        PlaceTopLevelViews(info.window);
        return;
    }
    }
    fViews[view] = entry;
    Place(entry);
    entry.widget->show();
}

void QtPeers::SetViewFrame(PeerId view, BRect frame)
{
    if (ViewEntry* entry = Lookup(fViews, view)) {
        entry->frame = frame;
        Place(*entry);
    }
}

void QtPeers::SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor)
{
    if (auto* plain = ViewWidget<QtView>(view))
        plain->SetColors(viewColor);
    else if (auto* text = ViewWidget<QtStringView>(view))
        text->SetColors(viewColor, highColor);
    else if (auto* field = ViewWidget<QtMenuField>(view))
        field->SetColors(viewColor, highColor);
    else if (auto* control = ViewWidget<QtTextControl>(view))
        control->SetColors(viewColor, highColor);
    else if (auto* meter = ViewWidget<QtMeterView>(view))
        meter->SetColors(viewColor);
    else if (auto* box = ViewWidget<QtCheckBox>(view))
        box->SetColors(viewColor, highColor);
}

void QtPeers::SetViewText(PeerId view, const std::string& text)
{
    if (auto* label = ViewWidget<QtStringView>(view))
        label->setText(QString::fromStdString(text));
    else if (auto* field = ViewWidget<QtMenuField>(view))
        field->SetLabel(text);
    else if (auto* control = ViewWidget<QtTextControl>(view))
        control->SetLabel(text);
}

void QtPeers::SetFieldValue(PeerId field, const std::string& value)
{
    if (auto* widget = ViewWidget<QtMenuField>(field))
        widget->SetValue(value);
    else if (auto* control = ViewWidget<QtTextControl>(field))
        control->SetText(value);
    else if (auto* box = ViewWidget<QtCheckBox>(field))
        box->SetValue(value);
}

void QtPeers::SetViewPoints(PeerId view, const std::vector<BPoint>& points)
{
    if (auto* plot = ViewWidget<QtPlotView>(view))
        plot->SetPoints(points);
}

void QtPeers::MakeFocus(PeerId view)
{
    if (auto* field = ViewWidget<QtMenuField>(view))
        field->TakeFocus();
    else if (auto* widget = ViewWidget<QWidget>(view))
        widget->setFocus(Qt::OtherFocusReason);
}

void QtPeers::SetDivider(PeerId field, float divider)
{
    if (auto* widget = ViewWidget<QtMenuField>(field))
        widget->SetDivider(divider);
    else if (auto* control = ViewWidget<QtTextControl>(field))
        control->SetDivider(divider);
}

void QtPeers::InvalidateView(PeerId view)
{
    if (auto* meter = ViewWidget<QtMeterView>(view))
        meter->Wake();
    else if (auto* widget = ViewWidget<QWidget>(view))
        widget->update();
}

void QtPeers::DestroyView(PeerId view)
{
    ViewEntry* entry = Lookup(fViews, view);
    if (entry == nullptr)
        return;
    if (fMenus.count(view) != 0) { // the window's menu bar
        const PeerId window = entry->window;
        if (QtWindow* qtWindow = Window(window))
            qtWindow->SetMenuBar(nullptr, 0);
        ForgetMenu(view);
        ForgetView(view);
        PlaceTopLevelViews(window);
        return;
    }
    ForgetView(view);
}

void QtPeers::CreateMenu(PeerId menu, const MenuInfo& info)
{
    if (HoldBack([=, this] { CreateMenu(menu, info); }))
        return;
    QtWindow* window = Window(info.window);
    if (window == nullptr)
        return;
    auto* qtMenu = new QMenu(ToQLabel(info.title), window);
    fMenus[menu] = MenuEntry { info.window, PeerAddress { window->Address().queue, info.handler }, qtMenu,
        nullptr, false };
    SetMenuRadio(menu, info.radio);
    for (size_t index = 0; index < info.items.size(); ++index)
        AddMenuItem(menu, int32(index), info.items[index]);
}

void QtPeers::SetMenuRadio(PeerId menu, bool radio)
{
    if (HoldBack([=, this] { SetMenuRadio(menu, radio); }))
        return;
    MenuEntry* entry = Lookup(fMenus, menu);
    if (entry == nullptr || radio == bool(entry->radioGroup))
        return;
    if (!radio) {
        delete entry->radioGroup.data();
        return;
    }
    // Marks are the API's: the group only draws them as radio marks, and
    // lets none be set until the program sets one.
    entry->radioGroup = new QActionGroup(entry->container);
    entry->radioGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const auto& [peer, item] : fItems)
        if (item.container == menu && item.submenu == 0 && item.action)
            entry->radioGroup->addAction(item.action);
}

void QtPeers::DestroyMenu(PeerId menu)
{
    if (HoldBack([=, this] { DestroyMenu(menu); }))
        return;
    if (QMenu* qtMenu = Menu(menu)) {
        qtMenu->hide();
        qtMenu->deleteLater();
    }
    ForgetMenu(menu);
}

void QtPeers::AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info)
{
    if (HoldBack([=, this] { AddMenuItem(container, index, info); }))
        return;
    MenuEntry* menu = Lookup(fMenus, container);
    if (menu == nullptr || !menu->container)
        return;
    QAction* action = nullptr;
    if (info.submenu != 0) {
        QMenu* submenu = Menu(info.submenu);
        if (submenu == nullptr)
            return;
        action = submenu->menuAction();
        if (menu->inMenuBar)
            JoinMenuBar(info.submenu, menu->window);
    } else {
        action = new QAction(menu->container);
        QObject::connect(action, &QAction::triggered, action, [this, item = info.item] { ItemPicked(item); });
        if (menu->radioGroup)
            menu->radioGroup->addAction(action);
    }
    action->setText(ToQLabel(info.label));
    action->setEnabled(info.enabled);
    if (info.shortcut >= B_F1_KEY && info.shortcut <= B_F12_KEY) {
        action->setShortcut(QKeyCombination(Qt::Key(Qt::Key_F1 + (info.shortcut - B_F1_KEY))));
    } else if (info.shortcut == B_PAUSE_KEY) {
        action->setShortcut(QKeyCombination(Qt::Key_Pause));
        action->setShortcutContext(Qt::ApplicationShortcut);
    } else if (info.shortcut != 0) {
        QKeyCombination keys(Qt::ControlModifier, Qt::Key(QChar(info.shortcut).toUpper().unicode()));
        if (info.modifiers & B_SHIFT_KEY)
            keys = QKeyCombination(keys.keyboardModifiers() | Qt::ShiftModifier, keys.key());
        action->setShortcut(keys);
    }
    const QList<QAction*> actions = menu->container->actions();
    menu->container->insertAction(index >= 0 && index < actions.size() ? actions[index] : nullptr, action);
    fItems[info.item] = ItemEntry { container, info.submenu, action, info.marked };
    ShowMark(fItems[info.item]);
}

void QtPeers::RemoveMenuItem(PeerId container, PeerId item)
{
    if (HoldBack([=, this] { RemoveMenuItem(container, item); }))
        return;
    ItemEntry* entry = Lookup(fItems, item);
    MenuEntry* menu = Lookup(fMenus, container);
    if (entry == nullptr || menu == nullptr || entry->container != container)
        return;
    if (entry->action && menu->container) {
        menu->container->removeAction(entry->action);
        // A submenu's own action goes with the submenu.
        if (entry->submenu == 0)
            entry->action->deleteLater();
    }
    fItems.erase(item);
}

void QtPeers::SetItemLabel(PeerId item, const std::string& label)
{
    if (HoldBack([=, this] { SetItemLabel(item, label); }))
        return;
    if (ItemEntry* entry = Lookup(fItems, item); entry != nullptr && entry->action)
        entry->action->setText(ToQLabel(label));
}

void QtPeers::SetItemMarked(PeerId item, bool marked)
{
    if (HoldBack([=, this] { SetItemMarked(item, marked); }))
        return;
    if (ItemEntry* entry = Lookup(fItems, item)) {
        entry->marked = marked;
        ShowMark(*entry);
    }
}

void QtPeers::SetItemEnabled(PeerId item, bool enabled)
{
    if (HoldBack([=, this] { SetItemEnabled(item, enabled); }))
        return;
    if (ItemEntry* entry = Lookup(fItems, item); entry != nullptr && entry->action)
        entry->action->setEnabled(enabled);
}

void QtPeers::OpenPicture(PeerId view, const std::string& path, bool fitWindow)
{
    if (auto* picture = ViewWidget<QtPictureView>(view))
        picture->Open(path, fitWindow);
}

void QtPeers::ChoosePicture(PeerId view)
{
    if (auto* picture = ViewWidget<QtPictureView>(view))
        picture->Choose();
}

void QtPeers::PastePicture(PeerId view)
{
    if (auto* picture = ViewWidget<QtPictureView>(view))
        picture->Paste();
}

QtWindow* QtPeers::Window(PeerId window) const
{
    const auto found = fWindows.find(window);
    return found == fWindows.end() ? nullptr : found->second.data();
}

template <typename Widget> Widget* QtPeers::ViewWidget(PeerId view) const
{
    const auto found = fViews.find(view);
    // The view widgets are plain subclasses, without the meta-object qobject_cast needs.
    return found == fViews.end() ? nullptr : dynamic_cast<Widget*>(found->second.widget.data());
}

QMenu* QtPeers::Menu(PeerId menu) const
{
    const auto found = fMenus.find(menu);
    return found == fMenus.end() ? nullptr : qobject_cast<QMenu*>(found->second.container.data());
}

void QtPeers::Place(const ViewEntry& entry)
{
    QtWindow* window = Window(entry.window);
    // A picture view's layout keeps it filling its window.
    if (window == nullptr || !entry.widget || qobject_cast<QMenuBar*>(entry.widget.data()) != nullptr
        || dynamic_cast<QtPictureView*>(entry.widget.data()) != nullptr)
        return;
    // Top-level views are laid out below the real menu bar: the API's strip
    // for the bar is taken off their top.
    QRect geometry = ToQRect(entry.frame, entry.parent == 0 ? window->Strip() : 0);
    // A text field is at least as tall as its text, whatever the frame says.
    if (auto* control = dynamic_cast<QtTextControl*>(entry.widget.data()))
        geometry.setHeight(std::max(geometry.height(), control->sizeHint().height()));
    entry.widget->setGeometry(geometry);
}

void QtPeers::PlaceTopLevelViews(PeerId window)
{
    for (const auto& [peer, entry] : fViews)
        if (entry.window == window && entry.parent == 0)
            Place(entry);
}

void QtPeers::ShowMark(const ItemEntry& item)
{
    if (!item.action || item.submenu != 0)
        return;
    // Only a marked item is checkable, so unmarked ones show no empty box.
    item.action->setCheckable(item.marked);
    item.action->setChecked(item.marked);
}

void QtPeers::JoinMenuBar(PeerId menu, PeerId window)
{
    MenuEntry* entry = Lookup(fMenus, menu);
    if (entry == nullptr || entry->inMenuBar || !entry->container)
        return;
    entry->inMenuBar = true;
    QWidget* container = entry->container;
    container->setProperty(kMenuBarWindowProperty, qulonglong(window));
    if (auto* qtMenu = qobject_cast<QMenu*>(container)) {
        QObject::connect(qtMenu, &QMenu::aboutToShow, qtMenu, [this, window] { MenusOpening(window); });
        // Checked once the hiding is over: a pick is posted in between, and
        // moving from one title of the bar to the next opens another menu.
        QObject::connect(qtMenu, &QMenu::aboutToHide, qtMenu, [this, window, qtMenu] {
            QTimer::singleShot(0, qtMenu, [this, window] { MenusMaybeClosed(window); });
        });
    }
    for (const auto& [peer, item] : fItems)
        if (item.container == menu && item.submenu != 0)
            JoinMenuBar(item.submenu, window);
}

void QtPeers::ItemPicked(PeerId item)
{
    ItemEntry* entry = Lookup(fItems, item);
    MenuEntry* menu = entry != nullptr ? Lookup(fMenus, entry->container) : nullptr;
    if (menu == nullptr)
        return;
    // Qt toggled the check as it triggered; the API decides the marks and
    // will say so.
    ShowMark(*entry);
    BMessage pick(kMenuItemPicked);
    pick.AddInt64(kItemField, int64(item));
    menu->address.Post(pick);
}

void QtPeers::MenusOpening(PeerId window)
{
    QtWindow* qtWindow = Window(window);
    if (qtWindow == nullptr || qtWindow->MenusOpen())
        return;
    qtWindow->SetMenusOpen(true);
    const int64 token = int64(DisplayService::NewPeerId());
    BMessage beginning(kMenusBeginning);
    beginning.AddInt64(kTokenField, token);
    qtWindow->Address().Post(beginning);
    // Bounded, so a busy window cannot freeze the screen. What the window
    // sends after the bound waits until the menus close: the user is already
    // looking at (and may be picking from) the menu as it opened.
    if (!fDisplay.ApplyUntilAcknowledged(token, DisplayService::kMenusBeginningTimeout)) {
        std::fprintf(stderr,
            "the window's menus took longer than %lld ms to fill; they open "
            "with what was ready\n",
            static_cast<long long>(DisplayService::kMenusBeginningTimeout.count()));
        fFrozenWindow = window;
    }
}

void QtPeers::MenusMaybeClosed(PeerId window)
{
    QtWindow* qtWindow = Window(window);
    if (qtWindow == nullptr || !qtWindow->MenusOpen())
        return;
    const QWidget* popup = QApplication::activePopupWidget();
    if (popup != nullptr && popup->property(kMenuBarWindowProperty).toULongLong() == window)
        return;
    qtWindow->SetMenusOpen(false);
    if (fFrozenWindow == window)
        ApplyHeldBack();
    qtWindow->Address().Post(BMessage(kMenusEnded));
}

bool QtPeers::HoldBack(std::function<void()> command)
{
    if (fFrozenWindow == 0)
        return false;
    fHeldBack.push_back(std::move(command));
    return true;
}

void QtPeers::ApplyHeldBack()
{
    fFrozenWindow = 0;
    std::vector<std::function<void()>> held;
    held.swap(fHeldBack);
    for (const auto& command : held)
        command();
}

void QtPeers::ForgetView(PeerId view)
{
    std::vector<PeerId> children;
    for (const auto& [peer, entry] : fViews)
        if (entry.parent == view)
            children.push_back(peer);
    for (PeerId child : children)
        ForgetView(child);
    if (ViewEntry* entry = Lookup(fViews, view); entry != nullptr && entry->widget) {
        entry->widget->hide();
        entry->widget->deleteLater();
    }
    fViews.erase(view);
}

void QtPeers::ForgetMenu(PeerId menu)
{
    std::erase_if(fItems, [&](const auto& entry) { return entry.second.container == menu; });
    fMenus.erase(menu);
}
