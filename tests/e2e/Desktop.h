#pragma once

#include "tests/support/XServer.h"

#include <QImage>
#include <QStringList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QTemporaryDir>
#include <initializer_list>

struct _XDisplay;

// A desktop of the test's own, as people run Ferlow on one: an X server
// alone, the same server with a window manager, a Wayland compositor shown
// in it, or an Xorg server with the dummy video driver, whose monitors
// switch modes and stand side by side as `xrandr` lays them out. Input goes
// in through the X server (XTest), as from a user's keyboard and mouse, and
// what the screen shows is read back from it.
class Desktop {
public:
    enum class Kind { BareX, WindowManager, Wayland, XorgDummy };
    // The desktop's background: a colour no frame of Ferlow shows.
    static constexpr unsigned int kBackground = 0xff501e3c;

    // Starts the desktop, or throws std::runtime_error saying what failed.
    explicit Desktop(Kind kind);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    Kind kind() const { return mKind; }
    static const char* name(Kind kind);
    // The X screen's size now: a change of modes or monitors changes it.
    QSize screenSize() const;

    // The environment of a program started on this desktop: its display
    // (X or Wayland) and its own settings folder.
    QProcessEnvironment clientEnvironment(const QString& configHome) const;

    // Keys by X keysym, pressed and released; modifiers (keysyms too) are
    // held around it.
    void key(unsigned long keysym, std::initializer_list<unsigned long> modifiers = {});
    void click(QPoint at, unsigned int button = 1);
    // Types printable ASCII text, with Shift where a character needs it.
    void type(const QString& text);
    // Moves the pointer to the screen's far corner, over the desktop alone.
    void parkPointer();
    // A left-button drag in small steps, as a hand moves the mouse.
    void drag(QPoint from, QPoint to);
    // The same drag, with the button held at the end until release(): a
    // drag from one program to another lets go once the target answers.
    void pressAndMove(QPoint from, QPoint to);
    // Moves the pointer in the same small steps, the button as it is.
    void moveInSteps(QPoint from, QPoint to);
    void release();
    // Notches of the wheel: positive turns it away from the user.
    void wheel(QPoint at, int notches);

    // The whole screen as the X server holds it.
    QImage capture() const;
    // Where the topmost window shows on the screen, when one shows.
    QRect topWindow() const;
    // The titles the programs give their windows (_NET_WM_NAME, UTF-8), as
    // a task bar lists them; a window not mapped yet or any more included.
    QStringList windowTitles() const;
    // The title of the window that has the keyboard, or of the window it
    // lies in.
    QString keyboardWindowTitle() const;
    // Whether no program holds the keyboard or the pointer: the test can
    // take both, and gives them back at once.
    bool inputIsFree() const;
    // Runs the xrandr tool on this desktop, as a user lays out monitors;
    // its output, or std::runtime_error when it fails.
    QString xrandr(const QStringList& arguments) const;

    // Makes another program's window the active one, as a user switching to
    // it would; Ferlow then has to win the keyboard back.
    void activateAnotherWindow();
    void closeAnotherWindow();
    // Switches back to the window named so: by a click at this point of it
    // without a window manager, as a task bar does with one, by Super+Tab on
    // Wayland. Returns once the other window has lost the keyboard.
    void switchBackTo(const char* windowName, QPoint click);
    // Waits for the keyboard to go from the other window to any other.
    bool keyboardLeavesTheOtherWindow() const;

private:
    void startWindowManager();
    void startCompositor();
    void paintBackground();
    void moveTo(QPoint at);
    void button(unsigned int button, bool press);
    void sync();
    void requestActivation(unsigned long window);
    unsigned long clientWindowNamed(const char* name) const;

    Kind mKind;
    QTemporaryDir mRuntime;
    XServer mServer;
    QProcess mHelper; // the window manager or the compositor
    QProcess mOtherClient;
    QString mWaylandSocket;
    _XDisplay* mDisplay = nullptr;
    unsigned long mOtherWindow = 0;
};
