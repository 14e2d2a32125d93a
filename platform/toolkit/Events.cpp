#include "platform/toolkit/Events.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

namespace {

char16_t functionKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
        return FunctionKey::UpArrow;
    case Qt::Key_Down:
        return FunctionKey::DownArrow;
    case Qt::Key_Left:
        return FunctionKey::LeftArrow;
    case Qt::Key_Right:
        return FunctionKey::RightArrow;
    case Qt::Key_F11:
        return FunctionKey::F11;
    case Qt::Key_Escape:
        return FunctionKey::Escape;
    default:
        return 0;
    }
}

// With Ctrl, Alt or Meta held the window system's text is a control
// character or nothing at all; the key itself says which character it is.
// Shift keeps its meaning: it makes a letter upper case.
std::u16string charactersIgnoringModifiers(const QKeyEvent& event)
{
    if (const char16_t function = functionKey(event.key()))
        return std::u16string(1, function);
    constexpr Qt::KeyboardModifiers kCommandModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    const int key = event.key();
    if ((event.modifiers() & kCommandModifiers) && key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
        const bool lowerCaseLetter = key >= Qt::Key_A && key <= Qt::Key_Z && !(event.modifiers() & Qt::ShiftModifier);
        return std::u16string(1, lowerCaseLetter ? char16_t(u'a' + (key - Qt::Key_A)) : char16_t(key));
    }
    const QString text = event.text();
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size()));
}

} // namespace

namespace Events {

KeyEvent fromQt(const QKeyEvent& event)
{
    const EventType type = event.type() == QEvent::KeyRelease ? EventType::KeyUp : EventType::KeyDown;
    return {type, charactersIgnoringModifiers(event)};
}

MouseEvent fromQt(const QMouseEvent& event, EventType type, const QWindow& view)
{
    // The view's own coordinates, moved to the top-level window's content
    // and turned so that y grows upwards from its bottom edge.
    const QPointF inView = event.position();
    const QPoint viewOrigin = view.mapToGlobal(QPoint(0, 0));
    const QWindow* topLevel = view.parent(QWindow::IncludeTransients) ? view.parent(QWindow::IncludeTransients) : &view;
    while (topLevel->parent(QWindow::IncludeTransients))
        topLevel = topLevel->parent(QWindow::IncludeTransients);
    const QPoint windowOrigin = topLevel->mapToGlobal(QPoint(0, 0));
    const double x = inView.x() + (viewOrigin.x() - windowOrigin.x());
    const double yDown = inView.y() + (viewOrigin.y() - windowOrigin.y());
    return {type, {x, double(topLevel->height()) - yDown}};
}

ScrollEvent fromQt(const QWheelEvent& event)
{
    const QPoint pixels = event.pixelDelta();
    const double notches = pixels.isNull() ? event.angleDelta().y() / kAngleUnitsPerNotch : pixels.y() / kPixelsPerNotch;
    return {EventType::ScrollWheel, notches};
}

} // namespace Events
