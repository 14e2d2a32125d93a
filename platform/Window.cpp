#include "platform/Window.h"

#include "platform/Toolbar.h"

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
