#include "platform/Panel.h"

Panel::Panel(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool)
{
}

void Panel::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}

void Panel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (mOnClose)
        mOnClose();
}
