#include "platform/input/portal/CastScreen.h"

#include <algorithm>

void CastScreen::SetStreams(std::vector<std::unique_ptr<CastStreamCore>> streams)
{
    std::lock_guard lock(fLock);
    fStreams = std::move(streams);
}

std::vector<CastStreamCore*> CastScreen::Streams()
{
    std::lock_guard lock(fLock);
    std::vector<CastStreamCore*> streams;
    for (const auto& stream : fStreams)
        streams.push_back(stream.get());
    return streams;
}

BRect CastScreen::Frame()
{
    std::lock_guard lock(fLock);
    BRect frame;
    for (const auto& stream : fStreams) {
        const BRect part = stream->Frame();
        if (!part.IsValid())
            continue;
        if (!frame.IsValid()) {
            frame = part;
            continue;
        }
        frame = BRect(std::min(frame.left, part.left), std::min(frame.top, part.top),
            std::max(frame.right, part.right), std::max(frame.bottom, part.bottom));
    }
    return frame;
}

status_t CastScreen::ReadPixels(int32 left, int32 top, int32 width, int32 height, uint8* bits, int32 bytesPerRow)
{
    std::lock_guard lock(fLock);
    // An area on one monitor (the pixel under the pointer) is one read.
    for (const auto& stream : fStreams) {
        const BRect part = stream->Frame();
        if (part.Contains(BPoint(float(left), float(top)))
            && part.Contains(BPoint(float(left + width - 1), float(top + height - 1))))
            return stream->ReadPixels(left, top, width, height, bits, bytesPerRow);
    }
    return B_BAD_VALUE;
}
