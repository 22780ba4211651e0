#include "platform/app/Invoker.h"

#include "platform/app/Handler.h"
#include "platform/app/Looper.h"

#include <chrono>

BInvoker::BInvoker(BMessage* message, const BHandler* handler, const BLooper* looper)
    : fMessage(message)
{
    SetTarget(handler, looper);
}

BInvoker::~BInvoker() = default;

status_t BInvoker::SetMessage(BMessage* message)
{
    fMessage.reset(message);
    return B_OK;
}

uint32 BInvoker::Command() const
{
    return fMessage ? fMessage->what : 0;
}

status_t BInvoker::SetTarget(const BHandler* handler, const BLooper* looper)
{
    if (handler == nullptr && looper == nullptr)
        return SetTarget(BMessenger());
    status_t status = B_OK;
    BMessenger target(handler != nullptr ? handler : looper, looper, &status);
    if (status != B_OK) {
        SetTarget(BMessenger());
        return status;
    }
    return SetTarget(target);
}

status_t BInvoker::SetTarget(BMessenger messenger)
{
    fHasTarget = !(messenger == BMessenger());
    fTarget = std::move(messenger);
    return B_OK;
}

status_t BInvoker::Invoke(BMessage* message)
{
    const BMessage* model = message != nullptr ? message : fMessage.get();
    if (model == nullptr)
        return B_BAD_VALUE;
    BMessage copy(*model);
    AddInvokeFields(&copy);
    return (fHasTarget ? fTarget : DefaultTarget()).SendMessage(&copy);
}

BMessenger BInvoker::DefaultTarget() const
{
    return BMessenger();
}

void BInvoker::AddInvokeFields(BMessage* copy) const
{
    using namespace std::chrono;
    copy->AddInt64("when", duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}
