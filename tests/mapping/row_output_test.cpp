// The arithmetic of a row's output: the 14-bit scale at its edges, and the
// curves' promises (monotone, ends fixed, the defaults bit for bit).

#include "mapping/RowOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(RowOutputArithmetic, FourteenBitValuesTruncateTowardZeroAndHoldAtTheEnds)
{
    const cfg up { 1, 127, 0, true };
    EXPECT_EQ(Value14(up, 0.0), 0);
    EXPECT_EQ(Value14(up, 1.0), 16383);
    EXPECT_EQ(Value14(up, 0.5), 8191); // 8191.5
    EXPECT_EQ(Value14(up, 0.99999f), 16382);
    const cfg down { 1, 0, 127, true };
    EXPECT_EQ(Value14(down, 0.5), 8192); // 16383 + trunc(-8191.5)
    EXPECT_EQ(Value14(down, 1.0), 0);
    const cfg narrow { 1, 20, 10, true };
    EXPECT_EQ(Value14(narrow, 0.75), 1290 + 967); // 967.5 truncated
    EXPECT_EQ(Value14(up, 1.5), 16383);
    EXPECT_EQ(Value14(up, -0.5), 0);
    EXPECT_EQ(Value14(narrow, std::numeric_limits<double>::quiet_NaN()), 1290);
    // The 7-bit scale is the one the engine always had.
    EXPECT_EQ(Value7(up, 0.5), 63);
    EXPECT_EQ(Value7(down, 0.5), 64);
    EXPECT_EQ(Value7(narrow, 0.75), 17);

    RowOutput output;
    for (const OutputKind kind : { OutputKind::Nrpn14, OutputKind::PitchBend })
        EXPECT_TRUE(SendsHighResolution(RowOutput { kind }, 100));
    output.kind = OutputKind::ControlChange14;
    EXPECT_TRUE(SendsHighResolution(output, 31));
    EXPECT_FALSE(SendsHighResolution(output, 32));
    EXPECT_FALSE(SendsHighResolution(output, kControllerOff));
    EXPECT_FALSE(SendsHighResolution(RowOutput {}, 1));
    EXPECT_FALSE(SendsHighResolution(RowOutput { OutputKind::ChannelPressure }, 1));
}

TEST(RowOutputArithmetic, CurvesAreMonotoneWithFixedEndsAndTheDefaultsChangeNothing)
{
    for (int16 curve = 0; curve < kCurveKinds; ++curve) {
        for (const int16 amount : { 0, 1, 50, 99, 100 }) {
            EXPECT_EQ(Curve(CurveKind(curve), amount, 0.0), 0.0) << curve << " " << amount;
            EXPECT_EQ(Curve(CurveKind(curve), amount, 1.0), 1.0) << curve << " " << amount;
            double previous = 0.0;
            for (int step = 1; step <= 4096; ++step) {
                const double shaped = Curve(CurveKind(curve), amount, step / 4096.0);
                ASSERT_GE(shaped, previous) << curve << " " << amount << " at " << step;
                ASSERT_LE(shaped, 1.0);
                previous = shaped;
            }
        }
    }
    // An exponential curve holds light pressure back, a logarithmic one
    // brings it forward.
    EXPECT_LT(Curve(CurveKind::Exponential, 50, 0.5), 0.5);
    EXPECT_GT(Curve(CurveKind::Logarithmic, 50, 0.5), 0.5);
    EXPECT_LT(Curve(CurveKind::SCurve, 100, 0.25), 0.25);

    const RowOutput defaults;
    for (const float input : { 0.0f, 1e-7f, 0.3f, 0.5f, 0.999f, 1.0f, 1.5f, -0.25f })
        EXPECT_EQ(ShapeInput(defaults, input), double(input));
    RowOutput gated;
    gated.threshold = 10;
    EXPECT_EQ(ShapeInput(gated, 0.0999), 0.0);
    EXPECT_EQ(ShapeInput(gated, 0.1), 0.1);
}
