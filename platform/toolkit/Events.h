#pragma once

#include <string>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;
class QWindow;

// Input events in the terms the application code works in.

enum class EventType {
    LeftMouseDown = 1,
    LeftMouseUp = 2,
    RightMouseDown = 3,
    RightMouseUp = 4,
    MouseMoved = 5,
    LeftMouseDragged = 6,
    RightMouseDragged = 7,
    KeyDown = 10,
    KeyUp = 11,
    FlagsChanged = 12,
    ScrollWheel = 22,
    OtherMouseDown = 25,
    OtherMouseUp = 26,
    OtherMouseDragged = 27,
};

// Function keys are reported as characters of the Unicode private use area,
// so that a key handler can switch on one UTF-16 unit.
namespace FunctionKey {
inline constexpr char16_t UpArrow = 0xF700;
inline constexpr char16_t DownArrow = 0xF701;
inline constexpr char16_t LeftArrow = 0xF702;
inline constexpr char16_t RightArrow = 0xF703;
inline constexpr char16_t F11 = 0xF70E;
inline constexpr char16_t Escape = 0x001B;
} // namespace FunctionKey

struct KeyEvent {
    EventType type = EventType::KeyDown;
    // The characters the key gives with no modifier but Shift held.
    std::u16string charactersIgnoringModifiers;
};

// A location in window coordinates: points from the bottom-left corner of
// the window's content, y growing upwards.
struct WindowPoint {
    double x = 0.0;
    double y = 0.0;
};

struct MouseEvent {
    EventType type = EventType::LeftMouseDown;
    WindowPoint locationInWindow;
};

struct ScrollEvent {
    EventType type = EventType::ScrollWheel;
    // One wheel notch is 1.0; positive when the wheel turns away from the user.
    double deltaY = 0.0;
};

namespace Events {
KeyEvent fromQt(const QKeyEvent& event);
// `window` is the top-level window the location is measured in.
MouseEvent fromQt(const QMouseEvent& event, EventType type, const QWindow& view);
ScrollEvent fromQt(const QWheelEvent& event);

// Trackpads report pixels; this many make one wheel notch.
inline constexpr double kPixelsPerNotch = 20.0;
// Qt reports wheel angles in eighths of a degree; a notch is 15 degrees.
inline constexpr double kAngleUnitsPerNotch = 120.0;
} // namespace Events
