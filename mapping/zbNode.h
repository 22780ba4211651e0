#pragma once

#include "platform/interface/View.h"

// The program's base view.
class zbNode : public BView {
public:
    explicit zbNode(const char* name);

    void MessageReceived(BMessage* message) override;
};
