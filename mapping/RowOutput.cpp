#include "mapping/RowOutput.h"

#include <algorithm>
#include <cmath>

const char* const kOutputKindLabels[kOutputKinds]
    = { "Control Change", "Control Change, 14-bit", "NRPN, 14-bit", "Pitch Bend", "Channel Pressure" };
const char* const kCurveKindLabels[kCurveKinds] = { "Linear", "Exponential", "Logarithmic", "S-curve" };

namespace {

// 14-bit Control Change pairs controller n with n + 32 for n up to 31.
constexpr int16 kHighestPairedController = 31;
// At full amount the exponential curve is e^(8x), which reaches a tenth of
// its height only at 0.71: as steep as a pressure curve usefully gets.
constexpr double kSteepest = 8.0;

// Scales `shaped` between `low` and `high` as the engine always has: the
// product is exact in double precision and truncated toward zero.
int32 Scale(int32 low, int32 high, int32 highest, double shaped)
{
    double scaled = std::trunc(shaped * double(high - low));
    if (std::isnan(scaled))
        scaled = 0.0;
    // Values beyond the range are held at its ends instead of wrapping.
    return int32(std::clamp(scaled + low, 0.0, double(highest)));
}

// The settings' fields and where each lands.
struct Field {
    const char* name;
    int16 RowOutput::*value;
};

constexpr Field kNumberFields[] = {
    { "nrpn", &RowOutput::nrpn },
    { "curve amount", &RowOutput::amount },
    { "threshold", &RowOutput::threshold },
    { "smoothing", &RowOutput::smoothing },
};

} // namespace

bool IsValid(const RowOutput& output)
{
    const auto within = [](int32 value, int32 lowest, int32 highest) { return value >= lowest && value <= highest; };
    return within(int16(output.kind), 0, kOutputKinds - 1) && within(output.nrpn, 0, kHighestNrpn)
        && within(int16(output.curve), 0, kCurveKinds - 1) && within(output.amount, 0, 100)
        && within(output.threshold, 0, 100)
        && (output.smoothing == 0 || within(output.smoothing, kShortestSmoothing, kLongestSmoothing));
}

bool SendsHighResolution(const RowOutput& output, int16 controller)
{
    switch (output.kind) {
    case OutputKind::ControlChange14: return controller >= 0 && controller <= kHighestPairedController;
    case OutputKind::Nrpn14:
    case OutputKind::PitchBend: return true;
    default: return false;
    }
}

double Curve(CurveKind curve, int16 amount, double input)
{
    if (curve == CurveKind::Linear || !(input > 0.0 && input < 1.0))
        return input;
    const double strength = std::clamp(amount, int16(0), int16(100)) / 100.0;
    const double k = kSteepest * strength;
    double shaped = input;
    switch (curve) {
    case CurveKind::Exponential:
        if (k > 0)
            shaped = std::expm1(k * input) / std::expm1(k);
        break;
    case CurveKind::Logarithmic:
        if (k > 0) {
            const double c = std::expm1(k);
            shaped = std::log1p(c * input) / std::log1p(c);
        }
        break;
    case CurveKind::SCurve: {
        // Blends the line with smootherstep, both monotone.
        const double smooth = input * input * input * (input * (input * 6 - 15) + 10);
        shaped = (1 - strength) * input + strength * smooth;
        break;
    }
    case CurveKind::Linear: break;
    }
    // Rounding must not carry a value past the ends it never reaches.
    return std::clamp(shaped, 0.0, 1.0);
}

double ShapeInput(const RowOutput& output, double input)
{
    if (output.threshold > 0 && input < output.threshold / 100.0)
        return 0.0;
    return Curve(output.curve, output.amount, input);
}

int32 Value7(const cfg& record, double shaped)
{
    return Scale(record.lorange, record.hirange, 127, shaped);
}

int32 Value14(const cfg& record, double shaped)
{
    return Scale(int32(record.lorange) * 129, int32(record.hirange) * 129, kHighest14BitValue, shaped);
}

void AddRowOutput(BMessage* message, const std::string& prefix, const RowOutput& output)
{
    message->AddInt16((prefix + "output").c_str(), int16(output.kind));
    message->AddInt16((prefix + "curve").c_str(), int16(output.curve));
    for (const Field& field : kNumberFields)
        message->AddInt16((prefix + field.name).c_str(), output.*field.value);
}

status_t FindRowOutput(const BMessage& message, const std::string& prefix, RowOutput* output, std::string* why)
{
    RowOutput found = *output;
    const auto take = [&](const char* name, int16* value) {
        const std::string full = prefix + name;
        if (!message.HasData(full.c_str(), B_ANY_TYPE))
            return true;
        if (message.FindInt16(full.c_str(), value) == B_OK)
            return true;
        *why = "its \"" + full + "\" is no int16";
        return false;
    };
    // The kinds are kept as their numbers.
    int16 kind = int16(found.kind);
    int16 curve = int16(found.curve);
    if (!take("output", &kind) || !take("curve", &curve))
        return B_BAD_DATA;
    found.kind = OutputKind(kind);
    found.curve = CurveKind(curve);
    for (const Field& field : kNumberFields)
        if (!take(field.name, &(found.*field.value)))
            return B_BAD_DATA;
    if (!IsValid(found)) {
        *why = "its \"" + prefix + "\" output settings are out of range";
        return B_BAD_DATA;
    }
    *output = found;
    return B_OK;
}
