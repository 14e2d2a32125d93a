#include "platform/Window.h"

void Window::makeKeyAndOrderFront()
{
    show();
    raise();
    activateWindow();
}
