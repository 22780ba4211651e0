#include "platform/input/portal/PipeWireCastReader.h"

#include "platform/app/AppDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/ThreadName.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

// The wake event stops the thread at once; the timeout only bounds how long
// a lost wake-up could keep it.
constexpr int kIterateTimeoutMs = 500;

// Room for the cursor's metadata with a bitmap of up to 64 x 64 pixels, as
// the compositor fills it in: the position is all that is read, but a
// compositor may leave out the position when the bitmap does not fit.
constexpr int32 CursorMetaSize(int32 width, int32 height)
{
    return int32(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + width * height * 4;
}

std::optional<CastPixelFormat> PixelFormatOf(uint32 format)
{
    switch (format) {
    case SPA_VIDEO_FORMAT_BGRx: return CastPixelFormat::BGRx;
    case SPA_VIDEO_FORMAT_RGBx: return CastPixelFormat::RGBx;
    case SPA_VIDEO_FORMAT_xRGB: return CastPixelFormat::xRGB;
    case SPA_VIDEO_FORMAT_xBGR: return CastPixelFormat::xBGR;
    case SPA_VIDEO_FORMAT_BGRA: return CastPixelFormat::BGRA;
    case SPA_VIDEO_FORMAT_RGBA: return CastPixelFormat::RGBA;
    case SPA_VIDEO_FORMAT_ARGB: return CastPixelFormat::ARGB;
    case SPA_VIDEO_FORMAT_ABGR: return CastPixelFormat::ABGR;
    default: return std::nullopt;
    }
}

bigtime_t MonotonicMicroseconds()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::once_flag gPipeWireInit;

} // namespace

// One stream: its PipeWire object, the callbacks that translate its buffers
// for its core, and what it said it would end with.
class PipeWireCastReader::StreamReader {
public:
    StreamReader(PipeWireCastReader& owner, pw_core* core, const Stream& stream)
        : fOwner(owner)
        , fCore(*stream.core)
    {
        fStream = pw_stream_new(core, "Zimbrel screen",
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
                "Screen", nullptr));
        if (fStream == nullptr)
            return;
        static const pw_stream_events events = [] {
            pw_stream_events e {};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* data, pw_stream_state old, pw_stream_state state, const char* error) {
                static_cast<StreamReader*>(data)->StateChanged(old, state, error);
            };
            e.param_changed = [](void* data, uint32_t id, const spa_pod* param) {
                static_cast<StreamReader*>(data)->ParamChanged(id, param);
            };
            e.process = [](void* data) { static_cast<StreamReader*>(data)->Process(); };
            return e;
        }();
        pw_stream_add_listener(fStream, &fListener, &events, this);

        uint8 buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_rectangle size { 1024, 768 }, minSize { 1, 1 }, maxSize { 16384, 16384 };
        spa_fraction rate { 30, 1 }, minRate { 0, 1 }, maxRate { 1000, 1 };
        // Only layouts in memory: without modifiers the compositor hands out
        // shared memory, never DMA buffers the CPU cannot read.
        const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(&builder,
            SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
            SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(9, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_RGBx,
                SPA_VIDEO_FORMAT_xRGB, SPA_VIDEO_FORMAT_xBGR, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBA,
                SPA_VIDEO_FORMAT_ARGB, SPA_VIDEO_FORMAT_ABGR),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
        fConnected = pw_stream_connect(fStream, PW_DIRECTION_INPUT, stream.node,
                         pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1)
            == 0;
    }

    ~StreamReader()
    {
        if (fStream != nullptr) {
            spa_hook_remove(&fListener);
            pw_stream_destroy(fStream);
        }
    }

    bool IsConnected() const { return fConnected; }

private:
    void StateChanged(pw_stream_state old, pw_stream_state state, const char* error)
    {
        if (state == PW_STREAM_STATE_ERROR)
            fOwner.StreamEnded(error != nullptr ? error : "stream error");
        else if (state == PW_STREAM_STATE_UNCONNECTED && old != PW_STREAM_STATE_UNCONNECTED)
            fOwner.StreamEnded("the stream was disconnected");
    }

    void ParamChanged(uint32_t id, const spa_pod* param)
    {
        if (id != SPA_PARAM_Format || param == nullptr)
            return;
        spa_video_info_raw info {};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        const std::optional<CastPixelFormat> format = PixelFormatOf(info.format);
        if (!format) {
            std::fprintf(stderr, "zimbrel: the screen cast chose pixel format %u, which cannot be read\n",
                unsigned(info.format));
            return;
        }
        fCore.SetFormat(*format, int32(info.size.width), int32(info.size.height));

        uint8 buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        const spa_pod* params[3];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamBuffers,
            SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers, SPA_POD_CHOICE_RANGE_Int(8, 2, 16),
            SPA_PARAM_BUFFERS_dataType, SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta,
            SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
            SPA_POD_Int(sizeof(spa_meta_header))));
        params[2] = static_cast<const spa_pod*>(spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamMeta,
            SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64, 64), CursorMetaSize(1, 1), CursorMetaSize(1024, 1024))));
        pw_stream_update_params(fStream, params, 3);
        fOwner.StreamFormatChanged();
    }

    void Process()
    {
        // Every queued buffer is taken: a cursor update must not wait
        // behind a picture, nor a picture be lost behind cursor updates.
        while (pw_buffer* queued = pw_stream_dequeue_buffer(fStream)) {
            Take(*queued->buffer);
            pw_stream_queue_buffer(fStream, queued);
        }
    }

    void Take(const spa_buffer& buffer)
    {
        CastBuffer cast;
        CastCursor cursor;
        const auto* header = static_cast<const spa_meta_header*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_Header, sizeof(spa_meta_header)));
        const bool corrupted = header != nullptr && (header->flags & SPA_META_HEADER_FLAG_CORRUPTED) != 0;
        if (buffer.n_datas > 0 && !corrupted) {
            const spa_data& data = buffer.datas[0];
            const spa_chunk* chunk = data.chunk;
            if (data.data != nullptr && chunk != nullptr && (chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0
                && chunk->offset <= data.maxsize && chunk->size <= data.maxsize - chunk->offset) {
                cast.data = static_cast<const uint8*>(data.data) + chunk->offset;
                cast.size = chunk->size;
                cast.stride = chunk->stride;
            }
        }
        const auto* meta = static_cast<const spa_meta_cursor*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
        if (meta != nullptr) {
            cursor.onStream = spa_meta_cursor_is_valid(meta);
            cursor.x = meta->position.x;
            cursor.y = meta->position.y;
            cast.cursor = &cursor;
        }
        bool refused = false;
        if (const std::optional<BPoint> where = fCore.Take(cast, &refused)) {
            BMessage moved(B_MOUSE_MOVED);
            moved.AddInt64("when", MonotonicMicroseconds());
            moved.AddPoint("where", *where);
            moved.AddInt32("buttons", 0);
            fOwner.fPointer.Broadcast(moved);
        }
        if (refused && !fSaidRefused) {
            fSaidRefused = true;
            std::fprintf(stderr,
                "zimbrel: the screen cast sent a picture of %u bytes, rows %d bytes apart, that does not fit "
                "its format: colours stay as they were\n",
                unsigned(cast.size), int(cast.stride));
        }
    }

    PipeWireCastReader& fOwner;
    CastStreamCore& fCore;
    pw_stream* fStream = nullptr;
    spa_hook fListener {};
    bool fConnected = false;
    bool fSaidRefused = false;
};

struct PipeWireCastReader::CoreListener {
    spa_hook hook {};
    // The registry tells when a stream's node goes, which is how the
    // compositor ending a screen cast shows first: the stream itself may
    // only pause.
    pw_registry* registry = nullptr;
    spa_hook registryHook {};
    std::vector<uint32> nodes;
};

PipeWireCastReader::PipeWireCastReader(int pipeWireFd, const std::vector<Stream>& streams,
    PointerBroadcaster& pointer, ScreenChangeBroadcaster& screenChanges, CastScreen& screen,
    std::function<void()> ended)
    : fPointer(pointer)
    , fScreenChanges(screenChanges)
    , fScreen(screen)
    , fEnded(std::move(ended))
    , fCoreListener(std::make_unique<CoreListener>())
{
    std::call_once(gPipeWireInit, [] { pw_init(nullptr, nullptr); });
    fLoop = pw_loop_new(nullptr);
    if (fLoop == nullptr) {
        close(pipeWireFd);
        fError = "cannot make a PipeWire loop";
        return;
    }
    fContext = pw_context_new(fLoop, nullptr, 0);
    if (fContext == nullptr) {
        close(pipeWireFd);
        fError = "cannot make a PipeWire context";
        return;
    }
    // The context owns the descriptor from here on, failure included.
    fCore = pw_context_connect_fd(fContext, pipeWireFd, nullptr, 0);
    if (fCore == nullptr) {
        fError = "cannot connect to PipeWire through the portal's descriptor";
        return;
    }
    static const pw_core_events coreEvents = [] {
        pw_core_events e {};
        e.version = PW_VERSION_CORE_EVENTS;
        e.error = [](void* data, uint32_t id, int, int res, const char* message) {
            // Errors of single objects are the streams' to report.
            if (id == PW_ID_CORE && res == -EPIPE)
                static_cast<PipeWireCastReader*>(data)->StreamEnded(message);
        };
        return e;
    }();
    pw_core_add_listener(fCore, &fCoreListener->hook, &coreEvents, this);
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e {};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global_remove = [](void* data, uint32_t id) {
            auto* reader = static_cast<PipeWireCastReader*>(data);
            const std::vector<uint32>& nodes = reader->fCoreListener->nodes;
            if (std::find(nodes.begin(), nodes.end(), id) != nodes.end())
                reader->StreamEnded("the desktop stopped sharing");
        };
        return e;
    }();
    for (const Stream& stream : streams)
        fCoreListener->nodes.push_back(stream.node);
    fCoreListener->registry = pw_core_get_registry(fCore, PW_VERSION_REGISTRY, 0);
    if (fCoreListener->registry != nullptr)
        pw_registry_add_listener(fCoreListener->registry, &fCoreListener->registryHook, &registryEvents, this);

    for (const Stream& stream : streams) {
        fStreams.push_back(std::make_unique<StreamReader>(*this, fCore, stream));
        if (!fStreams.back()->IsConnected()) {
            fError = "cannot connect to the screen cast's stream " + std::to_string(stream.node);
            return;
        }
    }
    fWake = pw_loop_add_event(fLoop, [](void*, uint64_t) {}, nullptr);
    if (fWake == nullptr) {
        fError = "cannot make the screen-cast reader's wake event";
        return;
    }
    fThread = std::thread(&PipeWireCastReader::ThreadMain, this);
}

PipeWireCastReader::~PipeWireCastReader()
{
    if (fThread.joinable()) {
        fStop = true;
        pw_loop_signal_event(fLoop, fWake);
        fThread.join();
    }
    fStreams.clear();
    if (fCoreListener->registry != nullptr) {
        spa_hook_remove(&fCoreListener->registryHook);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(fCoreListener->registry));
    }
    if (fCore != nullptr) {
        spa_hook_remove(&fCoreListener->hook);
        pw_core_disconnect(fCore);
    }
    if (fContext != nullptr)
        pw_context_destroy(fContext);
    if (fLoop != nullptr) {
        if (fWake != nullptr)
            pw_loop_destroy_source(fLoop, fWake);
        pw_loop_destroy(fLoop);
    }
}

void PipeWireCastReader::ThreadMain()
{
    NameCurrentThread("screen-cast");
    pw_loop_enter(fLoop);
    while (!fStop.load()) {
        const int result = pw_loop_iterate(fLoop, kIterateTimeoutMs);
        if (result < 0 && result != -EINTR) {
            std::fprintf(stderr, "zimbrel: the screen-cast reader cannot wait for PipeWire: %s\n",
                spa_strerror(result));
            StreamEnded("the reader stopped");
            break;
        }
    }
    pw_loop_leave(fLoop);
}

void PipeWireCastReader::StreamFormatChanged()
{
    const BRect frame = fScreen.Frame();
    if (frame.IsValid())
        fScreenChanges.Broadcast(frame, B_RGB32);
}

void PipeWireCastReader::StreamEnded(const char* why)
{
    if (fEndReported)
        return;
    fEndReported = true;
    for (CastStreamCore* core : fScreen.Streams())
        core->End();
    std::fprintf(stderr, "zimbrel: the screen cast has ended (%s): the whole screen is no longer followed\n",
        why != nullptr ? why : "no reason given");
    if (fEnded)
        fEnded();
}
