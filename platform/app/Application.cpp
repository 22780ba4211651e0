#include "platform/app/Application.h"

#include "platform/app/AppDefs.h"
#include "platform/app/QuitSignals.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

BApplication* be_app = nullptr;

namespace {

BApplication::EventLoop* sEventLoop = nullptr;

entry_ref ExecutableRef()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string full(path, size_t(length));
    const auto slash = full.rfind('/');
    return entry_ref(full.substr(0, slash), full.substr(slash + 1));
}

} // namespace

BApplication::BApplication(const char* signature)
    : BLooper("application")
    , fSignature(signature ? signature : "")
{
    be_app = this;
    // The program's diagnostic lines must reach a pipe or a log file as they
    // are printed, not when a buffer happens to fill.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

BApplication::~BApplication()
{
    if (be_app == this)
        be_app = nullptr;
}

status_t BApplication::Run()
{
    const QuitSignals quitSignals(*this);
    if (sEventLoop != nullptr)
        sEventLoop->Run(*this);
    else
        RunOnCallingThread();
    BLooper::WaitForOtherLoopers(this, kWindowQuitTimeout);
    return B_OK;
}

void BApplication::Quit()
{
    if (IsLooperThread())
        BLooper::Quit();
    else
        PostMessage(B_QUIT_REQUESTED);
}

bool BApplication::QuitRequested()
{
    const BMessenger self(this);
    BMessage quit(B_QUIT_REQUESTED);
    quit.AddBool(B_APPLICATION_QUITTING, true);
    for (const BMessenger& looper : BLooper::LiveLoopers())
        if (!(looper == self))
            looper.SendMessage(&quit);
    return true;
}

void BApplication::SetEventLoop(EventLoop* loop)
{
    sEventLoop = loop;
}

status_t BApplication::GetAppInfo(app_info* info) const
{
    if (info == nullptr)
        return B_BAD_VALUE;
    info->signature = fSignature;
    info->ref = ExecutableRef();
    return info->ref.name.empty() ? B_ERROR : B_OK;
}
