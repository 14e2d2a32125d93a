#include "platform/toolkit/FullScreenEvents.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

FullScreenEvents::FullScreenEvents()
{
    QCoreApplication::instance()->installEventFilter(this);
}

FullScreenEvents::~FullScreenEvents()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

std::unique_ptr<QInputEvent> FullScreenEvents::next()
{
    if (mQueue.empty())
        return nullptr;
    std::unique_ptr<QInputEvent> event = std::move(mQueue.front());
    mQueue.pop_front();
    return event;
}

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
        mQueue.emplace_back(static_cast<QKeyEvent&>(*event).clone());
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        // Qt delivers a widget's mouse events to its window first: queue each
        // event once, as it reaches a window.
        if (receiver->isWindowType())
            mQueue.emplace_back(static_cast<QMouseEvent&>(*event).clone());
        return true;
    case QEvent::Wheel:
        if (receiver->isWindowType())
            mQueue.emplace_back(static_cast<QWheelEvent&>(*event).clone());
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
