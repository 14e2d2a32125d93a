#pragma once

#include <QMainWindow>
#include <memory>

class Toolbar;

// A top-level window of the application: the main window carries the menu
// bar, the toolbar and the OpenGL view.
class Window : public QMainWindow {
public:
    Window();
    ~Window() override;

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
    // A press anywhere in the window (its toolbar, its menu bar) asks for
    // the keyboard. Qt does so itself only for a window it does not take for
    // the active one yet, and it notices the loss of the keyboard late: a
    // click that came soon after, or while the program was busy, left the
    // keys with the other window where no window manager gives them back.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QObject* mFirstResponder = nullptr;
};
