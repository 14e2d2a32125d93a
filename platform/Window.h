#pragma once

#include <QMainWindow>

// A top-level window of the application: the main window carries the menu
// bar, the toolbar and the OpenGL view.
class Window : public QMainWindow {
public:
    using QMainWindow::QMainWindow;

    // Shows the window, raises it above the others and gives it the focus.
    void makeKeyAndOrderFront();
};
