#include "platform/toolkit/FullScreenEvents.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>

FullScreenEvents::FullScreenEvents()
{
    QCoreApplication::instance()->installEventFilter(this);
}

FullScreenEvents::~FullScreenEvents()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

std::optional<FullScreenEvents::Event> FullScreenEvents::next()
{
    if (mQueue.empty())
        return std::nullopt;
    Event event = mQueue.front();
    mQueue.pop_front();
    return event;
}

namespace {

EventType mouseType(const QMouseEvent& event)
{
    const bool left = event.button() == Qt::LeftButton;
    const bool right = event.button() == Qt::RightButton;
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return left ? EventType::LeftMouseDown : right ? EventType::RightMouseDown : EventType::OtherMouseDown;
    case QEvent::MouseButtonRelease:
        return left ? EventType::LeftMouseUp : right ? EventType::RightMouseUp : EventType::OtherMouseUp;
    default:
        return event.buttons() == Qt::NoButton ? EventType::MouseMoved : EventType::LeftMouseDragged;
    }
}

} // namespace

bool FullScreenEvents::eventFilter(QObject* receiver, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Quit:
        mQuitRequested = true;
        return false;
    case QEvent::ShortcutOverride:
        if (!mKeyboardHeld && static_cast<QKeyEvent&>(*event).matches(QKeySequence::Quit))
            return false;
        // Claimed, so that no menu shortcut fires: the key press follows and
        // is queued like any other.
        event->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        mQueue.emplace_back(Events::fromQt(static_cast<QKeyEvent&>(*event)));
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        // Qt delivers a widget's mouse events to its window first: queue each
        // event once, as it reaches a window.
        if (receiver->isWindowType()) {
            const auto& mouse = static_cast<QMouseEvent&>(*event);
            mQueue.emplace_back(Events::fromQt(mouse, mouseType(mouse), *static_cast<QWindow*>(receiver)));
        }
        return true;
    }
    case QEvent::Wheel:
        if (receiver->isWindowType())
            mQueue.emplace_back(Events::fromQt(static_cast<QWheelEvent&>(*event)));
        return true;
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

EventType typeOf(const FullScreenEvents::Event& event)
{
    return std::visit([](const auto& e) { return e.type; }, event);
}
