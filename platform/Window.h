#pragma once

#include <QMainWindow>
#include <memory>

class Toolbar;

// A top-level window of the application: the main window carries the menu
// bar, the toolbar and the OpenGL view.
class Window : public QMainWindow {
public:
    using QMainWindow::QMainWindow;

    // Shows the window, raises it above the others and gives it the focus.
    void makeKeyAndOrderFront();

    // Shows the toolbar along the top of the window, which owns it from then
    // on; a toolbar set before goes.
    void setToolbar(std::unique_ptr<Toolbar> toolbar);
    Toolbar* toolbar() const;
};
