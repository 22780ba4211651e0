#include "platform/app/Handler.h"

#include "platform/app/Looper.h"

BHandler::BHandler(const char* name) : fName(name ? name : "") {}

BHandler::~BHandler()
{
    if (fLooper != nullptr && fLooper != this)
        fLooper->RemoveHandler(this);
}

void BHandler::MessageReceived(BMessage* /*message*/) {}
