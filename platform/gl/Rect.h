#pragma once

// A rectangle in doubles: origin and size, in whatever unit the caller says
// (points for view bounds, pixels for backing-store rectangles).
struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
};
