#include "app/zbSession.h"

#include "app/zbWindow.h"
#include "capture/VCanvas.h"
#include "mapping/zbOutput.h"
#include "platform/midi/MidiRoster.h"

#include <algorithm>
#include <cstdio>

zbSession::zbSession(std::shared_ptr<SessionClient> client, zbWindow* window, zbOutput* output)
    : BHandler("session"), client(std::move(client)), window(window), output(output)
{
    // The window runs hidden until the state says whether it is shown.
    windowsShown = false;
}

void zbSession::MessageReceived(BMessage* message)
{
    switch (message->what) {
    case kSessionOpen: Open(message); break;
    case kSessionSave: Save(); break;
    case kSessionShowGui: ShowWindows(); break;
    case kSessionHideGui: HideWindows(); break;
    case kSessionTick: NoticeChanges(); break;
    case kCanvasSettings: {
        const void* bytes = nullptr;
        ssize_t size = 0;
        std::string why;
        if (message->FindData("state", B_RAW_TYPE, &bytes, &size) == B_OK)
            ReadCanvasState(bytes, size_t(size), &canvasState, &why);
        if (savePending) {
            savePending = false;
            FinishSave(canvasState);
        } else {
            // Told unasked: its close box.
            canvasChanged = true;
        }
        break;
    }
    default: BHandler::MessageReceived(message); break;
    }
}

void zbSession::Open(const BMessage* request)
{
    const char* path = request->FindString("path");
    const char* clientId = request->FindString("client id");
    // The first time the MIDI client was named before it was made.
    if (!folder.empty())
        BMidiRoster::SetClientName(clientId);
    folder = path != nullptr ? path : "";
    SessionState state;
    state.mapping = zbOutput::DefaultMapping();
    std::string why;
    const status_t status = ReadSessionState(folder, &state, &why);
    if (status != B_OK && status != B_ENTRY_NOT_FOUND) {
        state = SessionState();
        state.mapping = zbOutput::DefaultMapping();
    }
    output->ApplyMapping(state.mapping);
    BMidiRoster::KeepLinks(output->producer, state.links);
    canvasState = state.canvas;
    window->RestoreCanvas(state.canvas);
    if (state.windowsShown)
        ShowWindows();
    else
        HideWindows();
    Kept(state);
    if (status == B_OK) {
        client->Reply(kSessionOpen, "Zimbrel's state opened");
    } else if (status == B_ENTRY_NOT_FOUND) {
        client->Reply(kSessionOpen, "a new Zimbrel session");
    } else {
        std::fprintf(stderr, "Session state not opened, Zimbrel starts with the defaults: %s.\n", why.c_str());
        client->Fail(kSessionOpen, kSessionErrorBadProject, why.c_str());
    }
}

void zbSession::Save()
{
    if (folder.empty()) {
        client->Fail(kSessionSave, kSessionErrorSaveFailed, "no session is open");
        return;
    }
    // The canvas's frame and picture are its own; it tells them, and the
    // save ends when it did. A canvas closed with its close box told them
    // as it went.
    if (savePending)
        return;
    if (BMessenger canvas = window->ExistingCanvas(); canvas.IsValid() && canvas.SendMessage(kCanvasTellSettings) == B_OK)
        savePending = true;
    else
        FinishSave(canvasState);
}

void zbSession::FinishSave(const CanvasState& canvas)
{
    const SessionState state = Current(canvas);
    std::string why;
    if (WriteSessionState(folder, state, &why) != B_OK) {
        std::fprintf(stderr, "Session not saved: %s.\n", why.c_str());
        client->Fail(kSessionSave, kSessionErrorSaveFailed, why.c_str());
        return;
    }
    Kept(state);
    client->Reply(kSessionSave, "Zimbrel's state saved");
}

void zbSession::ShowWindows()
{
    if (!windowsShown) {
        windowsShown = true;
        window->Show();
        window->ExistingCanvas().SendMessage(kCanvasShow);
    }
    client->SetGuiShown(true);
}

void zbSession::HideWindows()
{
    if (windowsShown) {
        windowsShown = false;
        window->Hide();
        window->ExistingCanvas().SendMessage(kCanvasHide);
    }
    client->SetGuiShown(false);
}

void zbSession::NoticeChanges()
{
    if (dirty || folder.empty())
        return;
    SessionState now = Current(canvasState);
    // Showing and hiding is the manager's own business, no change to save.
    now.windowsShown = kept.windowsShown;
    now.canvas = kept.canvas;
    if (canvasChanged || !(now == kept)) {
        dirty = true;
        client->SetDirty(true);
    }
}

SessionState zbSession::Current(const CanvasState& canvas) const
{
    SessionState state;
    state.mapping = output->CurrentMapping();
    state.links = BMidiRoster::KeptLinks(output->producer);
    std::sort(state.links.begin(), state.links.end());
    state.links.erase(std::unique(state.links.begin(), state.links.end()), state.links.end());
    state.canvas = canvas;
    state.windowsShown = windowsShown;
    return state;
}

void zbSession::Kept(const SessionState& state)
{
    kept = state;
    canvasChanged = false;
    dirty = false;
    client->SetDirty(false);
}
