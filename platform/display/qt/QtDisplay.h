#pragma once

// QtDisplay: the display's command queue in front of the Qt widgets. Window
// threads call the commands, which only queue a closure and wake the main
// thread; the main thread applies the closures to QtPeers in order.
//
// Thread rules: commands from any thread. Attach, ApplyPending,
// ApplyUntilAcknowledged and Close on the main thread only. After Close,
// commands are dropped: the widgets are gone.

#include "platform/display/DisplayService.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QtPeers;
class QtWaker;

class QtDisplay final : public DisplayService {
public:
    QtDisplay();
    ~QtDisplay() override;

    void CreateWindow(PeerId window, const WindowInfo& info) override;
    void ShowWindow(PeerId window, bool shown) override;
    void DestroyWindow(PeerId window) override;
    void SetWindowTitle(PeerId window, const std::string& title) override;
    void ToggleFullScreen(PeerId window) override;
    void MoveWindow(PeerId window, BPoint where) override;
    void ActivateWindow(PeerId window) override;
    void CreateView(PeerId view, const ViewInfo& info) override;
    void SetViewFrame(PeerId view, BRect frame) override;
    void SetViewColors(PeerId view, rgb_color viewColor, rgb_color highColor) override;
    void SetViewText(PeerId view, const std::string& text) override;
    void SetFieldValue(PeerId field, const std::string& value) override;
    void SetDivider(PeerId field, float divider) override;
    void InvalidateView(PeerId view) override;
    void SetViewPoints(PeerId view, const std::vector<BPoint>& points) override;
    void MakeFocus(PeerId view) override;
    void DestroyView(PeerId view) override;
    void CreateMenu(PeerId menu, const MenuInfo& info) override;
    void SetMenuRadio(PeerId menu, bool radio) override;
    void DestroyMenu(PeerId menu) override;
    void AddMenuItem(PeerId container, int32 index, const MenuItemInfo& info) override;
    void RemoveMenuItem(PeerId container, PeerId item) override;
    void SetItemLabel(PeerId item, const std::string& label) override;
    void SetItemMarked(PeerId item, bool marked) override;
    void SetItemEnabled(PeerId item, bool enabled) override;
    void OpenPicture(PeerId view, const std::string& path, bool fitWindow) override;
    void ChoosePicture(PeerId view) override;
    void PastePicture(PeerId view) override;
    void Acknowledge(int64 token) override;
    bool KnowsWindowPlaces() const override { return fKnowsWindowPlaces; }
    BRect WorkArea() const override;

    // Starts applying commands to `peers`, including those queued so far.
    void Attach(QtPeers* peers);
    void ApplyPending();
    // Applies commands as they come until the acknowledgement of `token`
    // was applied (true) or `timeout` passed (false).
    bool ApplyUntilAcknowledged(int64 token, std::chrono::milliseconds timeout);
    void Close();

private:
    using Command = std::function<void(QtPeers&)>;

    void Enqueue(Command command);
    // Takes the next command, waiting until `deadline` for one.
    bool TakeNext(Command& command, std::chrono::steady_clock::time_point deadline);

    std::mutex fLock;
    std::condition_variable fQueued;
    std::deque<Command> fCommands;
    bool fClosed = false;
    // Fixed by the platform Qt runs on.
    const bool fKnowsWindowPlaces;
    // The primary screen's available geometry, kept up to date by the main
    // thread for any thread to read.
    mutable std::mutex fAreaLock;
    BRect fWorkArea;
    std::unique_ptr<QObject> fScreenWatch;
    // Main thread only.
    QtPeers* fPeers = nullptr;
    std::unique_ptr<QtWaker> fWaker;
    int64 fLastAcknowledged = 0;
};
