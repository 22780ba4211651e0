#include "mapping/PresetFile.h"

#include "platform/storage/AtomicFile.h"
#include "platform/storage/BoundedFile.h"
#include "platform/storage/FindDirectory.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint32 kSaveCommand = 'bsav';
constexpr int16 kChannelOff = 128;
constexpr int16 kHighestValue = 127;
constexpr size_t kLongestPath = 255;
// A preset is a few hundred bytes; anything far larger is no preset, and is
// not read into memory whole.
constexpr size_t kLargestPresetFile = 64 * 1024;

struct Quantity {
    const char* name;
    cfg PresetMapping::*record;
};

constexpr std::array<Quantity, 6> kQuantities = { {
    { "x", &PresetMapping::x },
    { "y", &PresetMapping::y },
    { "pressure", &PresetMapping::pressure },
    { "red", &PresetMapping::red },
    { "green", &PresetMapping::green },
    { "blue", &PresetMapping::blue },
} };

// The prefixes of the row settings' fields, by panel row.
constexpr const char* kRowPrefixes[6] = { "y ", "x ", "pressure ", "red ", "green ", "blue " };

std::string FieldName(const Quantity& quantity, const char* part)
{
    return std::string(quantity.name) + " " + part;
}

bool FindInt16In(const BMessage& message, const std::string& name, int16 lowest, int16 highest, int16* value,
    std::string* why)
{
    int16 found = 0;
    if (message.FindInt16(name.c_str(), &found) != B_OK) {
        *why = "it has no int16 \"" + name + "\"";
        return false;
    }
    if (found < lowest || found > highest) {
        *why = "its \"" + name + "\" is " + std::to_string(found) + ", out of range";
        return false;
    }
    *value = found;
    return true;
}

bool IsChannel(int16 channel)
{
    return (channel >= 0 && channel <= 15) || channel == kChannelOff;
}

} // namespace

bool PresetMapping::operator==(const PresetMapping& other) const
{
    if (channel != other.channel)
        return false;
    for (const Quantity& quantity : kQuantities) {
        const cfg& mine = this->*quantity.record;
        const cfg& theirs = other.*quantity.record;
        if (mine.controller != theirs.controller || mine.lorange != theirs.lorange
            || mine.hirange != theirs.hirange || mine.enabled != theirs.enabled)
            return false;
    }
    return soloRow == other.soloRow && players == other.players
        && std::equal(std::begin(outputs), std::end(outputs), std::begin(other.outputs));
}

std::string PresetFolder()
{
    return UserSettingsDirectory() + "/Zimbrel2";
}

std::string RefusedPresetName(const std::string& folder, const char* name)
{
    const std::string text = name != nullptr ? name : "";
    if (text.empty())
        return "the name is empty";
    if (text == "." || text == "..")
        return "\"" + text + "\" names a folder";
    if (text.find('/') != std::string::npos)
        return "the name contains \"/\"";
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return "the name contains a control character";
    if (folder.size() + text.size() > kLongestPath)
        return "the path would be " + std::to_string(folder.size() + text.size()) + " bytes long, more than "
            + std::to_string(kLongestPath);
    return "";
}

void AddMapping(BMessage* message, const PresetMapping& mapping)
{
    message->AddInt16("channel", mapping.channel);
    for (const Quantity& quantity : kQuantities) {
        const cfg& record = mapping.*quantity.record;
        message->AddInt16(FieldName(quantity, "controller").c_str(), record.controller);
        message->AddInt16(FieldName(quantity, "lorange").c_str(), int16(record.lorange));
        message->AddInt16(FieldName(quantity, "hirange").c_str(), int16(record.hirange));
        message->AddBool(FieldName(quantity, "enabled").c_str(), record.enabled);
    }
    for (int row = 0; row < 6; ++row)
        AddRowOutput(message, kRowPrefixes[row], mapping.outputs[row]);
    message->AddInt16("solo row", mapping.soloRow);
    if (mapping.players)
        mapping.players->AddTo(message);
}

status_t FindMapping(const BMessage& message, PresetMapping* mapping, std::string* why)
{
    PresetMapping found {};
    if (!FindInt16In(message, "channel", 0, kChannelOff, &found.channel, why))
        return B_BAD_DATA;
    if (!IsChannel(found.channel)) {
        *why = "its \"channel\" is " + std::to_string(found.channel) + ", out of range";
        return B_BAD_DATA;
    }
    for (const Quantity& quantity : kQuantities) {
        cfg& record = found.*quantity.record;
        int16 lorange = 0;
        int16 hirange = 0;
        if (!FindInt16In(
                message, FieldName(quantity, "controller"), 0, kControllerOff, &record.controller, why)
            || !FindInt16In(message, FieldName(quantity, "lorange"), 0, kHighestValue, &lorange, why)
            || !FindInt16In(message, FieldName(quantity, "hirange"), 0, kHighestValue, &hirange, why))
            return B_BAD_DATA;
        record.lorange = uint16(lorange);
        record.hirange = uint16(hirange);
        const std::string enabled = FieldName(quantity, "enabled");
        if (message.FindBool(enabled.c_str(), &record.enabled) != B_OK) {
            *why = "it has no bool \"" + enabled + "\"";
            return B_BAD_DATA;
        }
    }
    for (int row = 0; row < 6; ++row)
        if (FindRowOutput(message, kRowPrefixes[row], &found.outputs[row], why) != B_OK)
            return B_BAD_DATA;
    if (message.HasData("solo row", B_ANY_TYPE) && !FindInt16In(message, "solo row", -1, 5, &found.soloRow, why))
        return B_BAD_DATA;
    PlayerChoice players;
    std::string damage;
    switch (PlayerChoice::Find(message, &players, &damage)) {
    case B_OK: found.players = players; break;
    case B_NAME_NOT_FOUND: break;
    default: *why = "who plays is damaged: " + damage; return B_BAD_DATA;
    }
    *mapping = found;
    return B_OK;
}

std::string PrintableName(const std::string& name)
{
    std::string shown;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xc2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80
            && static_cast<unsigned char>(name[i + 1]) <= 0x9f;
        if (byte < 0x20 || byte == 0x7f || c1) {
            const unsigned char code = c1 ? static_cast<unsigned char>(name[++i]) : byte;
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", code);
            shown += escaped;
        } else {
            shown += byte == '\\' ? "\\\\" : std::string(1, char(byte));
        }
    }
    return shown;
}

status_t ReadPreset(const void* data, size_t size, PresetMapping* mapping, std::string* why)
{
    if (data == nullptr && size > 0)
        return B_BAD_VALUE;
    if (size > kLargestPresetFile) {
        *why = "it is too large to be a preset";
        return B_BAD_DATA;
    }
    BMessage message;
    if (message.Unflatten(static_cast<const char*>(data), ssize_t(size)) != B_OK) {
        *why = "it is not a saved message, or it is damaged";
        return B_BAD_DATA;
    }
    if (message.what != kSaveCommand) {
        *why = "it holds another message than a preset";
        return B_BAD_DATA;
    }
    std::string missing;
    if (FindMapping(message, mapping, &missing) != B_OK) {
        *why = "it keeps no complete mapping: " + missing;
        return B_BAD_DATA;
    }
    return B_OK;
}

status_t ReadPreset(const char* path, PresetMapping* mapping, std::string* why)
{
    const BoundedFile file(path, kLargestPresetFile);
    if (file.InitCheck() != B_OK) {
        *why = file.Why();
        return file.InitCheck();
    }
    return ReadPreset(file.Bytes().data(), file.Bytes().size(), mapping, why);
}

int WritePreset(const char* path, const BMessage& message)
{
    const std::vector<char> bytes = message.Flatten();
    return ReplaceFileContents(path, bytes.data(), bytes.size());
}
