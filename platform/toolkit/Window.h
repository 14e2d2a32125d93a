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

    // The object that takes the window's key presses, whichever widget of the
    // window (or none) the window system gave the keyboard to; a key it
    // leaves unaccepted goes on to the window itself. Menu shortcuts come
    // first, as ever.
    void setFirstResponder(QObject* responder) { mFirstResponder = responder; }

    // Shows the toolbar along the top of the window, which owns it from then
    // on; a toolbar set before goes.
    void setToolbar(std::unique_ptr<Toolbar> toolbar);
    Toolbar* toolbar() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QObject* mFirstResponder = nullptr;
};
