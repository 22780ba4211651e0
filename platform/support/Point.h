#pragma once

// A position in a coordinate space whose y axis grows downward.
class BPoint {
public:
    constexpr BPoint() = default;
    constexpr BPoint(float x, float y) : x(x), y(y) {}

    constexpr bool operator==(const BPoint&) const = default;

    float x = 0.0f;
    float y = 0.0f;
};
