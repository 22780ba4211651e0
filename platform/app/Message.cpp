#include "platform/app/Message.h"

#include <bit>
#include <cinttypes>
#include <cstring>
#include <utility>

static_assert(std::endian::native == std::endian::little,
              "items are kept in memory in their flattened, little-endian form");

namespace {

constexpr char kMagic[4] = {'Z', 'M', 'S', 'G'};
constexpr uint8 kLayoutVersion = 1;
constexpr size_t kHeaderSize = 16;
constexpr uint8 kFixedSizeFlag = 1;

// Size that every item of a type must have, or 0 when items may vary.
size_t FixedSizeOf(type_code type)
{
    switch (type) {
    case B_INT8_TYPE:
    case B_BOOL_TYPE: return 1;
    case B_INT16_TYPE: return 2;
    case B_INT32_TYPE:
    case B_FLOAT_TYPE: return 4;
    case B_INT64_TYPE:
    case B_DOUBLE_TYPE:
    case B_POINT_TYPE: return 8;
    case B_RECT_TYPE: return 16;
    default: return 0;
    }
}

// Checks the inner shape of an item whose type has one.
bool ItemIsWellFormed(type_code type, const char* data, size_t size)
{
    if (const size_t fixed = FixedSizeOf(type))
        return size == fixed && (type != B_BOOL_TYPE || uint8(data[0]) <= 1);
    if (type == B_STRING_TYPE)
        return size >= 1 && std::memchr(data, 0, size) == data + size - 1;
    if (type == B_REF_TYPE) {
        const void* firstZero = std::memchr(data, 0, size);
        if (firstZero == nullptr)
            return false;
        const size_t rest = size - (static_cast<const char*>(firstZero) - data) - 1;
        const char* name = static_cast<const char*>(firstZero) + 1;
        return rest >= 1 && std::memchr(name, 0, rest) == name + rest - 1;
    }
    return true;
}

std::vector<char> EncodeRef(const entry_ref& ref)
{
    std::vector<char> bytes(ref.directory.begin(), ref.directory.end());
    bytes.push_back('\0');
    bytes.insert(bytes.end(), ref.name.begin(), ref.name.end());
    bytes.push_back('\0');
    return bytes;
}

// Bounds-checked reading of the flattened layout.
class Reader {
public:
    Reader(const char* data, size_t size) : fData(data), fLeft(size) {}

    bool Read(void* out, size_t size)
    {
        if (size > fLeft)
            return false;
        std::memcpy(out, fData, size);
        Skip(size);
        return true;
    }
    template <typename T> bool Read(T* out) { return Read(out, sizeof(T)); }
    const char* Take(size_t size)
    {
        if (size > fLeft)
            return nullptr;
        const char* at = fData;
        Skip(size);
        return at;
    }
    size_t Left() const { return fLeft; }

private:
    void Skip(size_t size)
    {
        fData += size;
        fLeft -= size;
    }

    const char* fData;
    size_t fLeft;
};

class Writer {
public:
    Writer(char* data) : fData(data) {}
    void Write(const void* bytes, size_t size)
    {
        // An empty item has no storage: its data pointer may be null, which
        // memcpy must never see, even for zero bytes.
        if (size == 0)
            return;
        std::memcpy(fData, bytes, size);
        fData += size;
    }
    template <typename T> void Write(T value) { Write(&value, sizeof(T)); }

private:
    char* fData;
};

std::string FourCharacters(uint32 code)
{
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char((code >> shift) & 0xff);
        text += (c >= 0x20 && c < 0x7f) ? c : '.';
    }
    return text + "'";
}

} // namespace

// ---- fields and items ----

const BMessage::Field* BMessage::FindField(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const Field& field : fFields)
        if (field.name == name)
            return &field;
    return nullptr;
}

BMessage::Field* BMessage::FindField(const char* name)
{
    return const_cast<Field*>(std::as_const(*this).FindField(name));
}

const std::vector<char>* BMessage::FindItem(const char* name, type_code type, int32 index) const
{
    const Field* field = FindField(name);
    if (field == nullptr || index < 0 || size_t(index) >= field->items.size())
        return nullptr;
    if (type != B_ANY_TYPE && field->type != type)
        return nullptr;
    return &field->items[size_t(index)];
}

status_t BMessage::AddItem(const char* name, type_code type, const void* data, size_t size,
                           bool fixedSize)
{
    if (name == nullptr || *name == '\0' || std::strlen(name) > 255 || type == B_ANY_TYPE)
        return B_BAD_VALUE;
    if (size > UINT32_MAX || !ItemIsWellFormed(type, static_cast<const char*>(data), size))
        return B_BAD_VALUE;
    const char* bytes = static_cast<const char*>(data);
    // The limits Unflatten enforces hold here too, so whatever can be built
    // can be flattened and read back.
    Field* field = FindField(name);
    if (field == nullptr) {
        if (fFields.size() >= kMaxFlattenedFields)
            return B_NO_MEMORY;
        if (!fSpareFields.empty()) {
            // A field MakeEmpty removed, with its first item's memory.
            fFields.push_back(std::move(fSpareFields.back()));
            fSpareFields.pop_back();
            Field& reused = fFields.back();
            reused.name = name;
            reused.type = type;
            reused.fixedSize = fixedSize;
            reused.items.resize(1);
            reused.items.front().assign(bytes, bytes + size);
            return B_OK;
        }
        fFields.push_back(Field{name, type, fixedSize, {}});
        field = &fFields.back();
    } else if (field->type != type) {
        return B_BAD_TYPE;
    } else if (field->fixedSize && field->items.front().size() != size) {
        return B_BAD_VALUE;
    } else if (field->items.size() >= kMaxFlattenedItems) {
        return B_NO_MEMORY;
    }
    field->items.emplace_back(bytes, bytes + size);
    return B_OK;
}

status_t BMessage::ReplaceItem(const char* name, type_code type, const void* data, size_t size)
{
    Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (field->type != type)
        return B_BAD_TYPE;
    if (!ItemIsWellFormed(type, static_cast<const char*>(data), size))
        return B_BAD_VALUE;
    if (field->fixedSize && field->items.size() > 1 && field->items.front().size() != size)
        return B_BAD_VALUE;
    const char* bytes = static_cast<const char*>(data);
    field->items.front().assign(bytes, bytes + size);
    return B_OK;
}

template <typename T> status_t BMessage::AddValue(const char* name, type_code type, T value)
{
    return AddItem(name, type, &value, sizeof value, true);
}

template <typename T>
status_t BMessage::FindValue(const char* name, type_code type, int32 index, T* value) const
{
    const std::vector<char>* item = FindItem(name, type, index);
    if (item == nullptr)
        return B_NAME_NOT_FOUND;
    if (value != nullptr)
        std::memcpy(value, item->data(), sizeof(T));
    return B_OK;
}

template <typename T> T BMessage::ValueOrZero(const char* name, type_code type, int32 index) const
{
    T value{};
    FindValue(name, type, index, &value);
    return value;
}

status_t BMessage::AddInt8(const char* n, int8 v) { return AddValue(n, B_INT8_TYPE, v); }
status_t BMessage::AddInt16(const char* n, int16 v) { return AddValue(n, B_INT16_TYPE, v); }
status_t BMessage::AddInt32(const char* n, int32 v) { return AddValue(n, B_INT32_TYPE, v); }
status_t BMessage::AddInt64(const char* n, int64 v) { return AddValue(n, B_INT64_TYPE, v); }
status_t BMessage::AddBool(const char* n, bool v) { return AddValue(n, B_BOOL_TYPE, uint8(v ? 1 : 0)); }
status_t BMessage::AddFloat(const char* n, float v) { return AddValue(n, B_FLOAT_TYPE, v); }
status_t BMessage::AddDouble(const char* n, double v) { return AddValue(n, B_DOUBLE_TYPE, v); }
status_t BMessage::AddPoint(const char* n, BPoint v) { return AddValue(n, B_POINT_TYPE, v); }
status_t BMessage::AddRect(const char* n, BRect v) { return AddValue(n, B_RECT_TYPE, v); }

status_t BMessage::AddString(const char* name, const char* value)
{
    if (value == nullptr)
        return B_BAD_VALUE;
    return AddItem(name, B_STRING_TYPE, value, std::strlen(value) + 1, false);
}

status_t BMessage::AddRef(const char* name, const entry_ref* ref)
{
    if (ref == nullptr)
        return B_BAD_VALUE;
    const std::vector<char> bytes = EncodeRef(*ref);
    return AddItem(name, B_REF_TYPE, bytes.data(), bytes.size(), false);
}

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                           bool isFixedSize, int32 /*numItems*/)
{
    if (data == nullptr || numBytes < 0)
        return B_BAD_VALUE;
    if (const size_t fixed = FixedSizeOf(type); fixed != 0 && size_t(numBytes) != fixed)
        return B_BAD_VALUE;
    return AddItem(name, type, data, size_t(numBytes), isFixedSize || FixedSizeOf(type) != 0);
}

status_t BMessage::FindInt8(const char* n, int32 i, int8* v) const { return FindValue(n, B_INT8_TYPE, i, v); }
status_t BMessage::FindInt16(const char* n, int32 i, int16* v) const { return FindValue(n, B_INT16_TYPE, i, v); }
status_t BMessage::FindInt32(const char* n, int32 i, int32* v) const { return FindValue(n, B_INT32_TYPE, i, v); }
status_t BMessage::FindInt64(const char* n, int32 i, int64* v) const { return FindValue(n, B_INT64_TYPE, i, v); }
status_t BMessage::FindFloat(const char* n, int32 i, float* v) const { return FindValue(n, B_FLOAT_TYPE, i, v); }
status_t BMessage::FindDouble(const char* n, int32 i, double* v) const { return FindValue(n, B_DOUBLE_TYPE, i, v); }
status_t BMessage::FindPoint(const char* n, int32 i, BPoint* v) const { return FindValue(n, B_POINT_TYPE, i, v); }
status_t BMessage::FindRect(const char* n, int32 i, BRect* v) const { return FindValue(n, B_RECT_TYPE, i, v); }

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const
{
    uint8 byte = 0;
    const status_t status = FindValue(name, B_BOOL_TYPE, index, &byte);
    if (status == B_OK && value != nullptr)
        *value = byte != 0;
    return status;
}

status_t BMessage::FindString(const char* name, int32 index, const char** value) const
{
    const std::vector<char>* item = FindItem(name, B_STRING_TYPE, index);
    if (item == nullptr)
        return B_NAME_NOT_FOUND;
    if (value != nullptr)
        *value = item->data();
    return B_OK;
}

status_t BMessage::FindRef(const char* name, int32 index, entry_ref* ref) const
{
    const std::vector<char>* item = FindItem(name, B_REF_TYPE, index);
    if (item == nullptr)
        return B_NAME_NOT_FOUND;
    if (ref != nullptr) {
        const char* directory = item->data();
        *ref = entry_ref(directory, directory + std::strlen(directory) + 1);
    }
    return B_OK;
}

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
                            ssize_t* numBytes) const
{
    const std::vector<char>* item = FindItem(name, type, index);
    if (item == nullptr)
        return B_NAME_NOT_FOUND;
    if (data != nullptr)
        *data = item->data();
    if (numBytes != nullptr)
        *numBytes = ssize_t(item->size());
    return B_OK;
}

int8 BMessage::FindInt8(const char* n, int32 i) const { return ValueOrZero<int8>(n, B_INT8_TYPE, i); }
int16 BMessage::FindInt16(const char* n, int32 i) const { return ValueOrZero<int16>(n, B_INT16_TYPE, i); }
int32 BMessage::FindInt32(const char* n, int32 i) const { return ValueOrZero<int32>(n, B_INT32_TYPE, i); }
int64 BMessage::FindInt64(const char* n, int32 i) const { return ValueOrZero<int64>(n, B_INT64_TYPE, i); }
bool BMessage::FindBool(const char* n, int32 i) const { return ValueOrZero<uint8>(n, B_BOOL_TYPE, i) != 0; }
float BMessage::FindFloat(const char* n, int32 i) const { return ValueOrZero<float>(n, B_FLOAT_TYPE, i); }
double BMessage::FindDouble(const char* n, int32 i) const { return ValueOrZero<double>(n, B_DOUBLE_TYPE, i); }
BPoint BMessage::FindPoint(const char* n, int32 i) const { return ValueOrZero<BPoint>(n, B_POINT_TYPE, i); }
BRect BMessage::FindRect(const char* n, int32 i) const { return ValueOrZero<BRect>(n, B_RECT_TYPE, i); }

const char* BMessage::FindString(const char* name, int32 index) const
{
    const char* value = "";
    FindString(name, index, &value);
    return value;
}

bool BMessage::HasData(const char* name, type_code type, int32 index) const
{
    return FindItem(name, type, index) != nullptr;
}

status_t BMessage::ReplaceInt16(const char* n, int16 v) { return ReplaceItem(n, B_INT16_TYPE, &v, sizeof v); }
status_t BMessage::ReplaceInt32(const char* n, int32 v) { return ReplaceItem(n, B_INT32_TYPE, &v, sizeof v); }
status_t BMessage::ReplaceFloat(const char* n, float v) { return ReplaceItem(n, B_FLOAT_TYPE, &v, sizeof v); }

status_t BMessage::ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes)
{
    if (data == nullptr || numBytes < 0)
        return B_BAD_VALUE;
    return ReplaceItem(name, type, data, size_t(numBytes));
}

status_t BMessage::GetInfo(const char* name, type_code* type, int32* count) const
{
    const Field* field = FindField(name);
    if (field == nullptr)
        return B_NAME_NOT_FOUND;
    if (type != nullptr)
        *type = field->type;
    if (count != nullptr)
        *count = int32(field->items.size());
    return B_OK;
}

BMessage& BMessage::operator=(const BMessage& other)
{
    what = other.what;
    fFields = other.fFields;
    return *this;
}

void BMessage::MakeEmpty()
{
    // Last first, so that the fields come back in the order they went.
    for (auto field = fFields.rbegin(); field != fFields.rend(); ++field)
        fSpareFields.push_back(std::move(*field));
    fFields.clear();
}

// ---- flattening ----

ssize_t BMessage::FlattenedSize() const
{
    size_t size = kHeaderSize;
    for (const Field& field : fFields) {
        size += 1 + field.name.size() + 4 + 1 + 4;
        for (const std::vector<char>& item : field.items)
            size += 4 + item.size();
    }
    return ssize_t(size);
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const
{
    if (buffer == nullptr || size < FlattenedSize())
        return B_BAD_VALUE;
    Writer out(buffer);
    out.Write(kMagic, sizeof kMagic);
    out.Write(kLayoutVersion);
    out.Write(uint8(0));
    out.Write(uint16(0));
    out.Write(what);
    out.Write(uint32(fFields.size()));
    for (const Field& field : fFields) {
        out.Write(uint8(field.name.size()));
        out.Write(field.name.data(), field.name.size());
        out.Write(field.type);
        out.Write(uint8(field.fixedSize ? kFixedSizeFlag : 0));
        out.Write(uint32(field.items.size()));
        for (const std::vector<char>& item : field.items) {
            out.Write(uint32(item.size()));
            out.Write(item.data(), item.size());
        }
    }
    return B_OK;
}

std::vector<char> BMessage::Flatten() const
{
    std::vector<char> bytes(static_cast<size_t>(FlattenedSize()));
    Flatten(bytes.data(), ssize_t(bytes.size()));
    return bytes;
}

status_t BMessage::Unflatten(const char* buffer, ssize_t size)
{
    if (buffer == nullptr || size < ssize_t(kHeaderSize))
        return B_BAD_DATA;
    Reader in(buffer, size_t(size));
    char magic[4];
    uint8 version = 0;
    uint8 reserved8 = 0;
    uint16 reserved16 = 0;
    uint32 newWhat = 0;
    uint32 fieldCount = 0;
    in.Read(magic, sizeof magic);
    in.Read(&version);
    in.Read(&reserved8);
    in.Read(&reserved16);
    in.Read(&newWhat);
    in.Read(&fieldCount);
    if (std::memcmp(magic, kMagic, sizeof kMagic) != 0 || version != kLayoutVersion ||
        reserved8 != 0 || reserved16 != 0 || fieldCount > kMaxFlattenedFields)
        return B_BAD_DATA;

    // Every field takes at least 15 bytes, so a count that cannot fit in what
    // is left is refused before anything is reserved for it.
    constexpr size_t kSmallestField = 1 + 1 + 4 + 1 + 4 + 4;
    if (size_t(fieldCount) * kSmallestField > in.Left())
        return B_BAD_DATA;

    BMessage result(newWhat);
    result.fFields.reserve(fieldCount);
    for (uint32 f = 0; f < fieldCount; ++f) {
        uint8 nameLength = 0;
        if (!in.Read(&nameLength) || nameLength == 0)
            return B_BAD_DATA;
        const char* nameBytes = in.Take(nameLength);
        if (nameBytes == nullptr || std::memchr(nameBytes, 0, nameLength) != nullptr)
            return B_BAD_DATA;
        Field field;
        field.name.assign(nameBytes, nameLength);
        uint8 flags = 0;
        uint32 itemCount = 0;
        if (!in.Read(&field.type) || !in.Read(&flags) || !in.Read(&itemCount))
            return B_BAD_DATA;
        if ((flags & ~kFixedSizeFlag) != 0 || itemCount == 0 || itemCount > kMaxFlattenedItems ||
            size_t(itemCount) * 4 > in.Left() || field.type == B_ANY_TYPE ||
            result.FindField(field.name.c_str()) != nullptr)
            return B_BAD_DATA;
        field.fixedSize = (flags & kFixedSizeFlag) != 0;
        if (FixedSizeOf(field.type) != 0 && !field.fixedSize)
            return B_BAD_DATA;
        field.items.reserve(itemCount);
        for (uint32 i = 0; i < itemCount; ++i) {
            uint32 itemSize = 0;
            if (!in.Read(&itemSize))
                return B_BAD_DATA;
            const char* itemBytes = in.Take(itemSize);
            if (itemBytes == nullptr || !ItemIsWellFormed(field.type, itemBytes, itemSize))
                return B_BAD_DATA;
            if (field.fixedSize && i > 0 && itemSize != field.items.front().size())
                return B_BAD_DATA;
            field.items.emplace_back(itemBytes, itemBytes + itemSize);
        }
        result.fFields.push_back(std::move(field));
    }
    if (in.Left() != 0)
        return B_BAD_DATA;
    *this = std::move(result);
    return B_OK;
}

// ---- printing ----

void BMessage::PrintToStream() const
{
    PrintToStream(stdout);
}

void BMessage::PrintToStream(std::FILE* stream) const
{
    std::fprintf(stream, "BMessage(%s) {\n", FourCharacters(what).c_str());
    for (const Field& field : fFields) {
        for (size_t i = 0; i < field.items.size(); ++i) {
            const char* data = field.items[i].data();
            const size_t size = field.items[i].size();
            std::fprintf(stream, "    %s[%zu], type %s: ", field.name.c_str(), i,
                         FourCharacters(field.type).c_str());
            int16 i16;
            int32 i32;
            int64 i64;
            float f[4];
            double d;
            switch (field.type) {
            case B_INT8_TYPE: std::fprintf(stream, "%d", int(int8(data[0]))); break;
            case B_BOOL_TYPE: std::fprintf(stream, "%s", data[0] ? "true" : "false"); break;
            case B_INT16_TYPE: std::memcpy(&i16, data, 2); std::fprintf(stream, "%d", int(i16)); break;
            case B_INT32_TYPE: std::memcpy(&i32, data, 4); std::fprintf(stream, "%" PRId32, i32); break;
            case B_INT64_TYPE: std::memcpy(&i64, data, 8); std::fprintf(stream, "%" PRId64, i64); break;
            case B_FLOAT_TYPE: std::memcpy(f, data, 4); std::fprintf(stream, "%g", double(f[0])); break;
            case B_DOUBLE_TYPE: std::memcpy(&d, data, 8); std::fprintf(stream, "%g", d); break;
            case B_POINT_TYPE:
                std::memcpy(f, data, 8);
                std::fprintf(stream, "(%g, %g)", double(f[0]), double(f[1]));
                break;
            case B_RECT_TYPE:
                std::memcpy(f, data, 16);
                std::fprintf(stream, "(%g, %g, %g, %g)", double(f[0]), double(f[1]), double(f[2]),
                             double(f[3]));
                break;
            case B_STRING_TYPE: std::fprintf(stream, "\"%s\"", data); break;
            case B_REF_TYPE:
                std::fprintf(stream, "\"%s\"", entry_ref(data, data + std::strlen(data) + 1).Path().c_str());
                break;
            default: std::fprintf(stream, "%zu bytes", size); break;
            }
            std::fputc('\n', stream);
        }
    }
    std::fputs("}\n", stream);
    std::fflush(stream);
}
