#pragma once

#include "platform/support/Point.h"

// A rectangle with inclusive edges: a one-pixel rectangle has left == right.
class BRect {
public:
    constexpr BRect() = default;
    constexpr BRect(float left, float top, float right, float bottom)
        : left(left), top(top), right(right), bottom(bottom)
    {
    }

    constexpr float Width() const { return right - left; }
    constexpr float Height() const { return bottom - top; }
    constexpr bool IsValid() const { return left <= right && top <= bottom; }
    constexpr BPoint LeftTop() const { return {left, top}; }

    constexpr BRect& OffsetBy(float dx, float dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    constexpr BRect OffsetByCopy(float dx, float dy) const { return BRect(*this).OffsetBy(dx, dy); }
    constexpr BRect& OffsetTo(float x, float y) { return OffsetBy(x - left, y - top); }

    constexpr bool Contains(BPoint p) const
    {
        return p.x >= left && p.x <= right && p.y >= top && p.y <= bottom;
    }

    constexpr bool operator==(const BRect&) const = default;

    float left = 0.0f;
    float top = 0.0f;
    float right = -1.0f;
    float bottom = -1.0f;
};
