#include "platform/toolkit/Window.h"

#include "platform/toolkit/Toolbar.h"

#include <QCoreApplication>
#include <QKeyEvent>

Window::Window()
{
    QCoreApplication::instance()->installEventFilter(this);
}

Window::~Window()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool Window::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == this)
        activateWindow();
    return false;
}

void Window::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}

void Window::setToolbar(std::unique_ptr<Toolbar> toolbar)
{
    delete this->toolbar();
    addToolBar(Qt::TopToolBarArea, toolbar.release());
}

Toolbar* Window::toolbar() const
{
    return findChild<Toolbar*>(QString(), Qt::FindDirectChildrenOnly);
}

void Window::keyPressEvent(QKeyEvent* event)
{
    if (mFirstResponder) {
        event->accept();
        QCoreApplication::sendEvent(mFirstResponder, event);
        if (event->isAccepted())
            return;
    }
    QMainWindow::keyPressEvent(event);
}
