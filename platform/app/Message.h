#pragma once

// BMessage: a command code plus named, typed fields, each holding one or more
// items. Messages are plain values; copying one copies every field.
//
// Thread rules: a message is owned by one thread at a time. Posting copies it.
//
// Flattened layout (version 1). Every integer is little-endian.
//
//   offset  size  content
//   0       4     magic "ZMSG"
//   4       1     layout version, 1
//   5       3     reserved, zero
//   8       4     what
//   12      4     number of fields F (at most kMaxFlattenedFields)
//   then F fields, each:
//           1     name length N, 1..255
//           N     name bytes, no terminating zero, no zero byte inside
//           4     type code
//           1     flags: bit 0 set when every item has the same size; other bits zero
//           4     number of items C, 1..kMaxFlattenedItems
//           then C items, each:
//           4     item size S
//           S     item bytes
//
// Item bytes by type: integers, float and double little-endian in their own
// width; bool one byte 0 or 1; point two floats (x, y); rectangle four floats
// (left, top, right, bottom); string the text followed by one zero byte, no
// zero byte inside; entry reference the folder path, a zero byte, the leaf
// name, a zero byte; any other type code raw bytes as given.
//
// A preset file is one flattened 'bsav' message. Besides the fields the name
// field's invocation adds ("when"), a save stores the mapping in fields of
// its own, all of them present in every preset the program writes:
//
//   "channel"             int16  0..15 for MIDI channel 1..16, 128 for off
//   "<q> controller"      int16  0..127, or 128 for off
//   "<q> lorange"         int16  0..127, the value sent for input 0.0
//   "<q> hirange"         int16  0..127, the value sent for input 1.0
//   "<q> enabled"         bool   whether the quantity sends
//
// where <q> is each of "x", "y", "pressure", "red", "green" and "blue". A
// file that lacks any of them, or holds one out of range, restores nothing.
// Each row's output settings follow, which files written before them lack
// (the row then gets the defaults):
//
//   "<q> output"          int16  0 Control Change, 1 Control Change 14-bit,
//                                2 NRPN 14-bit, 3 Pitch Bend, 4 Channel Pressure
//   "<q> nrpn"            int16  0..16383
//   "<q> curve"           int16  0 linear, 1 exponential, 2 logarithmic, 3 S
//   "<q> curve amount"    int16  0..100
//   "<q> threshold"       int16  0..100, percent of the input
//   "<q> smoothing"       int16  0 (off) or 5..1000 milliseconds
//   "solo row"            int16  the row that alone sends (0 Vertical ..
//                                5 Blue), or -1
//
// One of these present with another type or out of range restores nothing;
// fields of other names are ignored.
//
// Unflatten checks every length and count against the bytes actually given
// and refuses anything else (truncation, trailing bytes, sizes that do not fit
// the type, repeated names, unknown versions) with B_BAD_DATA, leaving the
// message it was called on unchanged.

#include "platform/storage/Entry.h"
#include "platform/support/Point.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"
#include "platform/support/TypeConstants.h"

#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

class BMessage {
public:
    static constexpr uint32 kMaxFlattenedFields = 4096;
    static constexpr uint32 kMaxFlattenedItems = 1u << 20;

    BMessage() = default;
    explicit BMessage(uint32 what) : what(what) {}
    // Copying takes the code and the fields only. Assigning to a message
    // that held fields of the same sizes before reuses their memory.
    BMessage(const BMessage& other) : what(other.what), fFields(other.fFields) {}
    BMessage& operator=(const BMessage& other);
    BMessage(BMessage&&) noexcept = default;
    BMessage& operator=(BMessage&&) noexcept = default;
    virtual ~BMessage() = default;

    uint32 what = 0;

    // Adding appends one item to the field `name`, creating the field. A name
    // already used with another type gives B_BAD_TYPE. A message holds at
    // most kMaxFlattenedFields fields of at most kMaxFlattenedItems items
    // each, the limits that Unflatten accepts; past them adding gives
    // B_NO_MEMORY and changes nothing.
    status_t AddInt8(const char* name, int8 value);
    status_t AddInt16(const char* name, int16 value);
    status_t AddInt32(const char* name, int32 value);
    status_t AddInt64(const char* name, int64 value);
    status_t AddBool(const char* name, bool value);
    status_t AddFloat(const char* name, float value);
    status_t AddDouble(const char* name, double value);
    status_t AddString(const char* name, const char* value);
    status_t AddPoint(const char* name, BPoint value);
    status_t AddRect(const char* name, BRect value);
    status_t AddRef(const char* name, const entry_ref* ref);
    status_t AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                     bool isFixedSize = true, int32 numItems = 1);

    // Finding reads one item. The status forms leave *value untouched when
    // the item is absent; the value forms give zero, false, "" or the point
    // (0, 0) instead.
    status_t FindInt8(const char* name, int32 index, int8* value) const;
    status_t FindInt16(const char* name, int32 index, int16* value) const;
    status_t FindInt32(const char* name, int32 index, int32* value) const;
    status_t FindInt64(const char* name, int32 index, int64* value) const;
    status_t FindBool(const char* name, int32 index, bool* value) const;
    status_t FindFloat(const char* name, int32 index, float* value) const;
    status_t FindDouble(const char* name, int32 index, double* value) const;
    status_t FindString(const char* name, int32 index, const char** value) const;
    status_t FindPoint(const char* name, int32 index, BPoint* value) const;
    status_t FindRect(const char* name, int32 index, BRect* value) const;
    status_t FindRef(const char* name, int32 index, entry_ref* ref) const;
    status_t FindData(const char* name, type_code type, int32 index, const void** data,
                      ssize_t* numBytes) const;

    status_t FindInt16(const char* name, int16* value) const { return FindInt16(name, 0, value); }
    status_t FindInt32(const char* name, int32* value) const { return FindInt32(name, 0, value); }
    status_t FindFloat(const char* name, float* value) const { return FindFloat(name, 0, value); }
    status_t FindBool(const char* name, bool* value) const { return FindBool(name, 0, value); }
    status_t FindString(const char* name, const char** value) const { return FindString(name, 0, value); }
    status_t FindPoint(const char* name, BPoint* value) const { return FindPoint(name, 0, value); }
    status_t FindRef(const char* name, entry_ref* ref) const { return FindRef(name, 0, ref); }
    status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const
    {
        return FindData(name, type, 0, data, numBytes);
    }

    int8 FindInt8(const char* name, int32 index = 0) const;
    int16 FindInt16(const char* name, int32 index = 0) const;
    int32 FindInt32(const char* name, int32 index = 0) const;
    int64 FindInt64(const char* name, int32 index = 0) const;
    bool FindBool(const char* name, int32 index = 0) const;
    float FindFloat(const char* name, int32 index = 0) const;
    double FindDouble(const char* name, int32 index = 0) const;
    const char* FindString(const char* name, int32 index = 0) const;
    BPoint FindPoint(const char* name, int32 index = 0) const;
    BRect FindRect(const char* name, int32 index = 0) const;

    // True when `name` holds an item `index` of `type` (B_ANY_TYPE matches all).
    bool HasData(const char* name, type_code type, int32 index = 0) const;
    bool HasInt16(const char* name, int32 index = 0) const { return HasData(name, B_INT16_TYPE, index); }
    bool HasInt32(const char* name, int32 index = 0) const { return HasData(name, B_INT32_TYPE, index); }
    bool HasFloat(const char* name, int32 index = 0) const { return HasData(name, B_FLOAT_TYPE, index); }
    bool HasBool(const char* name, int32 index = 0) const { return HasData(name, B_BOOL_TYPE, index); }
    bool HasString(const char* name, int32 index = 0) const { return HasData(name, B_STRING_TYPE, index); }
    bool HasRef(const char* name, int32 index = 0) const { return HasData(name, B_REF_TYPE, index); }
    bool HasPoint(const char* name, int32 index = 0) const { return HasData(name, B_POINT_TYPE, index); }
    bool HasRect(const char* name, int32 index = 0) const { return HasData(name, B_RECT_TYPE, index); }

    // Replacing overwrites the first item (`index` 0) of an existing field of
    // the same type; B_NAME_NOT_FOUND when there is none.
    status_t ReplaceInt16(const char* name, int16 value);
    status_t ReplaceInt32(const char* name, int32 value);
    status_t ReplaceFloat(const char* name, float value);
    status_t ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes);

    // Type and number of items of a field.
    status_t GetInfo(const char* name, type_code* type, int32* count = nullptr) const;
    // Removes every field. Their memory stays with the message, so a message
    // emptied and filled again with fields like the old ones allocates
    // nothing: a pointer event and its cursor data are built that way.
    void MakeEmpty();
    bool IsEmpty() const { return fFields.empty(); }

    ssize_t FlattenedSize() const;
    status_t Flatten(char* buffer, ssize_t size) const;
    std::vector<char> Flatten() const;
    status_t Unflatten(const char* buffer, ssize_t size);

    // A readable dump of the code and every field, to standard output.
    void PrintToStream() const;
    void PrintToStream(std::FILE* stream) const;

private:
    struct Field {
        std::string name;
        type_code type = 0;
        bool fixedSize = true;
        std::vector<std::vector<char>> items;
    };

    const Field* FindField(const char* name) const;
    Field* FindField(const char* name);
    const std::vector<char>* FindItem(const char* name, type_code type, int32 index) const;
    status_t AddItem(const char* name, type_code type, const void* data, size_t size, bool fixedSize);
    status_t ReplaceItem(const char* name, type_code type, const void* data, size_t size);

    template <typename T> status_t AddValue(const char* name, type_code type, T value);
    template <typename T> status_t FindValue(const char* name, type_code type, int32 index, T* value) const;
    template <typename T> T ValueOrZero(const char* name, type_code type, int32 index) const;

    std::vector<Field> fFields;
    // Fields MakeEmpty removed, kept for their memory.
    std::vector<Field> fSpareFields;
};
