#pragma once

// What a row of the panel sends besides its controller and ranges: the kind
// of message, the response curve, the threshold and the smoothing. The
// defaults send exactly the 7-bit Control Changes of a row without them.
//
// The arithmetic here is pure, so that the engine, the settings window's
// plot and the tests share it.

#include "mapping/cfg.h"
#include "platform/app/Message.h"

#include <string>

enum class OutputKind : int16 {
    ControlChange,
    ControlChange14,
    Nrpn14,
    PitchBend,
    ChannelPressure,
};
inline constexpr int16 kOutputKinds = 5;

enum class CurveKind : int16 {
    Linear,
    Exponential,
    Logarithmic,
    SCurve,
};
inline constexpr int16 kCurveKinds = 4;

struct RowOutput {
    OutputKind kind = OutputKind::ControlChange;
    int16 nrpn = 0; // 0..16383, for NRPN only
    CurveKind curve = CurveKind::Linear;
    int16 amount = 50; // how strongly the curve bends, 0..100 %
    int16 threshold = 0; // input below this many % reads as 0.0; 0..100
    int16 smoothing = 0; // glide time constant in ms, 5..1000; 0 is off

    bool operator==(const RowOutput&) const = default;
};

inline constexpr int16 kHighestNrpn = 16383;
inline constexpr int16 kShortestSmoothing = 5;
inline constexpr int16 kLongestSmoothing = 1000;
inline constexpr int32 kHighest14BitValue = 16383;

// The labels the settings window offers, in the order of the enumerations.
extern const char* const kOutputKindLabels[kOutputKinds];
extern const char* const kCurveKindLabels[kCurveKinds];

// Whether the settings hold only values the engine accepts.
bool IsValid(const RowOutput& output);

// Whether the row sends a 14-bit value: NRPN and Pitch Bend always, a 14-bit
// Control Change only for controllers 0 to 31, whose partners 32 to 63
// carry the least significant bits.
bool SendsHighResolution(const RowOutput& output, int16 controller);

// The input after the threshold and the curve, from 0.0..1.0 to 0.0..1.0.
// The defaults give the input back unchanged, bit for bit; an input outside
// 0.0..1.0 passes the curve untouched.
double ShapeInput(const RowOutput& output, double input);

// The curve alone: monotone, 0.0 to 0.0 and 1.0 to 1.0.
double Curve(CurveKind curve, int16 amount, double input);

// The value for `shaped` input between the record's ranges, truncated
// toward zero and held within the value range: 0..127, or for 14 bits
// lo14 + trunc(f × (hi14 − lo14)) with lo14 = lorange × 129 and hi14 =
// hirange × 129, within 0..16383.
int32 Value7(const cfg& record, double shaped);
int32 Value14(const cfg& record, double shaped);

// The settings as int16 fields named `prefix` followed by "output", "nrpn",
// "curve", "curve amount", "threshold" and "smoothing" (the kinds by their
// place in the enumerations).
void AddRowOutput(BMessage* message, const std::string& prefix, const RowOutput& output);
// Takes those of the fields that are present into `output` and keeps the
// rest, so that a message without them leaves the settings as they were.
// B_BAD_DATA, with `output` untouched and `why` saying what is wrong, when a
// field has another type or a value the engine does not accept.
status_t FindRowOutput(const BMessage& message, const std::string& prefix, RowOutput* output, std::string* why);
