#pragma once

// BPictureView: a view that shows a picture, scaled to fill the view with
// its aspect kept and centred; the bands beside it are not part of it. The
// display decodes the picture off its own thread and answers with
// kPictureOpened or kPictureFailed, addressed to the view. The pointer's
// and the pen's events over the view reach its window as B_MOUSE_DOWN,
// B_MOUSE_MOVED and B_MOUSE_UP carrying the tablet fields and where the
// picture is, and its colour under the pointer (see DisplayMessages.h).
//
// Thread rules: as for views.

#include "platform/display/DisplayMessages.h"
#include "platform/interface/View.h"

class BPictureView : public BView {
public:
    BPictureView(BRect frame, const char* name, uint32 resizingMode);

    // With `fitWindow`, the window takes the picture's size once it opened,
    // scaled down to fit 80 % of the screen; otherwise it keeps its own.
    void OpenPicture(const char* path, bool fitWindow);
    // Lets the user choose a picture file, which then opens fitting the window.
    void ChoosePicture();
    // Opens the picture on the clipboard, fitting the window.
    void PastePicture();

protected:
    void CreatePeer(DisplayService& display) override;
};
