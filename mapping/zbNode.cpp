#include "mapping/zbNode.h"

zbNode::zbNode(const char* name) : BView(BRect(0, 0, 0, 0), name, B_FOLLOW_LEFT, B_WILL_DRAW) {}

void zbNode::MessageReceived(BMessage* message)
{
    BView::MessageReceived(message);
}
