#pragma once

// BAppFileInfo: the information an application file carries about the
// program, here its icons. Only the running program's own file has any: its
// resources are compiled into it.
// Thread rules: one thread at a time.

#include "platform/interface/Bitmap.h"
#include "platform/storage/File.h"

class BAppFileInfo {
public:
    explicit BAppFileInfo(BFile* file);

    // B_OK when `file` is the running program's file.
    status_t InitCheck() const { return fStatus; }

    // Copies the icon of `size` into a B_CMAP8 bitmap of that size.
    status_t GetIcon(BBitmap* icon, icon_size size) const;

private:
    status_t fStatus;
};
