#include "platform/toolkit/Panel.h"

#include <QShortcut>
#include <QWindow>

Panel::Panel(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool)
{
    // Without a window manager there is no title bar to close the panel with.
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::Cancel), QKeySequence(QKeySequence::Close)})
        new QShortcut(keys, this, this, &QWidget::close);
}

void Panel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // The surface goes with the panel: a compositor gives the keyboard back to
    // the window below when the surface that had it is destroyed, not when it
    // is only unmapped, and offers no other way to have it back.
    QMetaObject::invokeMethod(this, [this] {
        if (!isVisible() && windowHandle())
            windowHandle()->destroy();
    }, Qt::QueuedConnection);
    if (mOnClose)
        mOnClose();
}
