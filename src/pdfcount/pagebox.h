// A page's size as readers show it: the crop box (the media box when there
// is none) clipped to the media box, scaled by /UserUnit, width and height
// swapped for /Rotate 90 and 270.
#pragma once

#include "syntax/lexer.h"

#include <optional>

namespace brastel::pdf {

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

// A box entry as read: absent (inherit it), a usable box, or one that is
// there but no page size (not four numbers, no area, absurd, unreadable).
struct BoxEntry {
    enum class State { Absent, Ok, Bad };
    State state = State::Absent;
    Box box;
};

// A rectangle value: four numbers, any two opposite corners (ISO 32000
// allows either order and readers normalise it), with an area, each side at
// most 15 m.
BoxEntry ReadBox(const Value& v);
// The same for numbers already read: a box when there are four.
BoxEntry BoxOfNumbers(const double* n, int count);

// A number value (integer or real) as a double.
std::optional<double> NumberOf(const Value& v);

// What a page holds and inherits.
struct PageGeometry {
    BoxEntry media;
    BoxEntry crop;
    std::optional<std::int64_t> rotate;
    double userUnit = 1;
};

// The page's shown width and height in points, or nothing when its size
// cannot be known (no media box, or a bad one).
std::optional<std::pair<double, double>> ShownSize(const PageGeometry& page);

}  // namespace brastel::pdf
