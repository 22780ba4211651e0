#include "app/SessionState.h"

#include "platform/storage/Directory.h"
#include "platform/storage/BoundedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr uint32 kSaveCommand = 'bsav';
// A preset and a few hundred links; anything far larger is not ours.
constexpr size_t kLargestStateFile = 256 * 1024;

std::vector<std::string> SortedLinks(const BMessage& message)
{
    std::vector<std::string> links;
    const char* link = nullptr;
    for (int32 index = 0; message.FindString("link", index, &link) == B_OK; ++index)
        links.emplace_back(link);
    std::sort(links.begin(), links.end());
    links.erase(std::unique(links.begin(), links.end()), links.end());
    return links;
}

} // namespace

bool SessionState::operator==(const SessionState& other) const
{
    return mapping == other.mapping && links == other.links && windowsShown == other.windowsShown
        && canvas == other.canvas;
}

std::string SessionStateFile(const std::string& folder)
{
    return folder + "/state";
}

status_t ReadSessionState(const std::string& folder, SessionState* state, std::string* why)
{
    const std::string path = SessionStateFile(folder);
    const BoundedFile file(path.c_str(), kLargestStateFile);
    if (file.InitCheck() != B_OK) {
        if (file.InitCheck() != B_ENTRY_NOT_FOUND)
            *why = path + ": " + file.Why();
        return file.InitCheck();
    }
    const std::vector<char>& bytes = file.Bytes();
    const size_t filled = bytes.size();
    SessionState found;
    std::string problem;
    if (ReadPreset(bytes.data(), filled, &found.mapping, &problem) != B_OK) {
        *why = path + " is damaged: " + problem;
        return B_BAD_DATA;
    }
    BMessage message;
    message.Unflatten(bytes.data(), ssize_t(filled));
    found.links = SortedLinks(message);
    found.windowsShown = !message.HasBool("windows shown") || message.FindBool("windows shown");
    const void* canvas = nullptr;
    ssize_t canvasSize = 0;
    if (message.FindData("canvas", B_RAW_TYPE, &canvas, &canvasSize) == B_OK
        && ReadCanvasState(canvas, size_t(canvasSize), &found.canvas, &problem) != B_OK) {
        *why = path + " is damaged: its canvas " + problem;
        return B_BAD_DATA;
    }
    *state = std::move(found);
    return B_OK;
}

status_t WriteSessionState(const std::string& folder, const SessionState& state, std::string* why)
{
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        *why = "cannot make the folder " + folder + ": " + std::strerror(errno);
        return B_ERROR;
    }
    BMessage message(kSaveCommand);
    AddMapping(&message, state.mapping);
    for (const std::string& link : state.links)
        message.AddString("link", link.c_str());
    message.AddBool("windows shown", state.windowsShown);
    const std::vector<char> canvas = FlattenCanvasState(state.canvas);
    message.AddData("canvas", B_RAW_TYPE, canvas.data(), ssize_t(canvas.size()));
    const std::string path = SessionStateFile(folder);
    if (const int error = WritePreset(path.c_str(), message); error != 0) {
        *why = "cannot write " + path + ": " + std::strerror(error);
        return B_ERROR;
    }
    return B_OK;
}
