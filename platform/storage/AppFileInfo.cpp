#include "platform/storage/AppFileInfo.h"

#include "platform/storage/AppResources.h"

#include <cstring>

BAppFileInfo::BAppFileInfo(BFile* file)
    : fStatus(file == nullptr || file->InitCheck() != B_OK ? B_BAD_VALUE
              : file->IsSameFileAs("/proc/self/exe")       ? B_OK
                                                           : B_BAD_TYPE)
{
}

status_t BAppFileInfo::GetIcon(BBitmap* icon, icon_size size) const
{
    if (fStatus != B_OK)
        return fStatus;
    if (icon == nullptr || icon->InitCheck() != B_OK || icon->ColorSpace() != B_CMAP8)
        return B_BAD_VALUE;
    const uint8* pixels = size == B_LARGE_ICON ? kAppResources.largeIcon
                          : size == B_MINI_ICON ? kAppResources.miniIcon
                                                : nullptr;
    const int32 length = int32(size) * int32(size);
    if (pixels == nullptr)
        return B_ENTRY_NOT_FOUND;
    if (icon->BitsLength() != length)
        return B_MISMATCHED_VALUES;
    std::memcpy(icon->Bits(), pixels, size_t(length));
    return B_OK;
}
