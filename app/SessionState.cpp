#include "app/SessionState.h"

#include "capture/VCanvas.h"
#include "platform/storage/Directory.h"
#include "platform/storage/File.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr uint32 kSaveCommand = 'bsav';
// A preset and a few hundred links; anything far larger is not ours.
constexpr size_t kLargestStateFile = 256 * 1024;

struct CanvasField {
    const char* own;
    const char* kept;
    type_code type;
};
constexpr CanvasField kCanvasFields[] = { { "path", "canvas path", B_STRING_TYPE },
    { "frame", "canvas frame", B_RECT_TYPE }, { "full screen", "canvas full screen", B_BOOL_TYPE },
    { "open", "canvas open", B_BOOL_TYPE } };

// Copies the first entry of each canvas field from `from` to `to`, renamed.
void CopyCanvasFields(const BMessage& from, BMessage* to, bool toKept)
{
    for (const CanvasField& field : kCanvasFields) {
        const char* source = toKept ? field.own : field.kept;
        const char* destination = toKept ? field.kept : field.own;
        const void* data = nullptr;
        ssize_t size = 0;
        if (from.FindData(source, field.type, &data, &size) == B_OK)
            to->AddData(destination, field.type, data, size);
    }
}

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
        && canvas.Flatten() == other.canvas.Flatten();
}

std::string SessionStateFile(const std::string& folder)
{
    return folder + "/state";
}

status_t ReadSessionState(const std::string& folder, SessionState* state, std::string* why)
{
    const std::string path = SessionStateFile(folder);
    BFile file(path.c_str(), B_READ_ONLY);
    if (const status_t status = file.InitCheck(); status != B_OK) {
        if (status == B_NOT_ALLOWED)
            *why = path + " may not be read";
        else if (status != B_ENTRY_NOT_FOUND)
            *why = path + " cannot be opened as a file";
        return status;
    }
    std::vector<char> bytes(kLargestStateFile + 1);
    size_t filled = 0;
    for (ssize_t done = 1; done > 0 && filled < bytes.size(); filled += size_t(done)) {
        done = file.Read(bytes.data() + filled, bytes.size() - filled);
        if (done < 0) {
            *why = path + " cannot be read";
            return B_IO_ERROR;
        }
    }
    if (filled > kLargestStateFile) {
        *why = path + " is too large to be a session's state";
        return B_BAD_DATA;
    }
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
    if (message.HasString("canvas path") || message.HasRect("canvas frame")) {
        found.canvas.what = kCanvasSettings;
        CopyCanvasFields(message, &found.canvas, false);
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
    CopyCanvasFields(state.canvas, &message, true);
    const std::string path = SessionStateFile(folder);
    if (const int error = WritePreset(path.c_str(), message); error != 0) {
        *why = "cannot write " + path + ": " + std::strerror(error);
        return B_ERROR;
    }
    return B_OK;
}
