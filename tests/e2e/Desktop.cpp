#include "tests/e2e/Desktop.h"

#include <QFile>
#include <QTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>

namespace {

constexpr int kStartMilliseconds = 30000;
// A screen changes its size once per change of modes: a read that fails
// twice in a row does not meet such a change.
constexpr int kScreenReads = 2;
// The screen of the Xvfb desktops, and of weston's output in it.
constexpr QSize kXvfbScreen{1280, 1024};
const QStringList kXvfbArguments{QStringLiteral("-screen"), QStringLiteral("0"),
                                 QStringLiteral("%1x%2x24").arg(kXvfbScreen.width()).arg(kXvfbScreen.height())};
// Pointer travel of a drag, in steps, so that the program sees it move.
constexpr int kDragSteps = 12;
constexpr unsigned int kWheelAway = 4;
constexpr unsigned int kWheelTowards = 5;
constexpr int kOtherWindowArea = 200 * 100;
const QString kWaylandSocket = QStringLiteral("ferlow-e2e");

[[noreturn]] void fail(const QString& what, QProcess& process)
{
    throw std::runtime_error((what + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAllStandardError()))
                                 .toStdString());
}

bool hasProperty(Display* display, Window window, const char* name)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom atom = XInternAtom(display, name, False);
    const bool found = XGetWindowProperty(display, window, atom, 0, 1, False, AnyPropertyType, &type, &format, &items,
                                          &after, &data) == Success &&
                       type != None;
    if (data)
        XFree(data);
    return found;
}

// The viewable top-level windows, bottom to top.
std::vector<Window> viewableTopLevels(Display* display)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> windows;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return windows;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable)
            windows.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return windows;
}

XErrorHandler gXlibHandler = nullptr;

// Other programs' windows come and go between two requests about them, and
// a change of modes resizes the screen between reading its size and reading
// its pixels: such a request fails (XGetWindowAttributes answers 0,
// XGetImage nothing) and the caller sees it, instead of Xlib ending the test.
int tolerateVanishedWindows(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code == BadMatch)
        return 0;
    return gXlibHandler(display, error);
}

// The title a program gave the window (_NET_WM_NAME), if it gave one.
std::optional<QString> titleOf(Display* display, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024, False,
                                          XInternAtom(display, "UTF8_STRING", False), &type, &format, &items, &after,
                                          &data) == Success
        && data;
    std::optional<QString> title;
    if (found)
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), int(items));
    if (data)
        XFree(data);
    return title;
}

Window keyboardWindow(Display* display)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus;
}

} // namespace

Desktop::Desktop(Kind kind)
    : mKind(kind)
    , mServer(kind == Kind::XorgDummy ? XServer::Kind::XorgDummy : XServer::Kind::Xvfb,
              kind == Kind::XorgDummy ? QStringList() : kXvfbArguments)
{
    if (!mRuntime.isValid())
        throw std::runtime_error("no temporary folder");
    QFile::setPermissions(mRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!gXlibHandler)
        gXlibHandler = XSetErrorHandler(tolerateVanishedWindows);
    mDisplay = XOpenDisplay(mServer.name().toLatin1().constData());
    int event = 0, error = 0, major = 0, minor = 0;
    if (!mDisplay || !XTestQueryExtension(mDisplay, &event, &error, &major, &minor))
        throw std::runtime_error("no XTest on " + mServer.name().toStdString());
    if (kind == Kind::WindowManager)
        startWindowManager();
    if (kind == Kind::Wayland)
        startCompositor();
    else
        paintBackground();
    parkPointer();
}

Desktop::~Desktop()
{
    closeAnotherWindow();
    mHelper.terminate();
    if (!mHelper.waitForFinished(5000))
        mHelper.kill();
    mHelper.waitForFinished();
    if (mDisplay)
        XCloseDisplay(mDisplay);
}

const char* Desktop::name(Kind kind)
{
    switch (kind) {
    case Kind::BareX:
        return "BareX";
    case Kind::WindowManager:
        return "Openbox";
    case Kind::Wayland:
        return "Weston";
    case Kind::XorgDummy:
        return "XorgDummy";
    }
    return "";
}

void Desktop::startWindowManager()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), mServer.name());
    mHelper.setProcessEnvironment(environment);
    mHelper.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    const Window root = DefaultRootWindow(mDisplay);
    if (!mHelper.waitForStarted(kStartMilliseconds) ||
        !QTest::qWaitFor([&] { return hasProperty(mDisplay, root, "_NET_SUPPORTING_WM_CHECK"); }, kStartMilliseconds))
        fail(QStringLiteral("openbox did not start"), mHelper);
}

// Weston shows its output in a window of the X server, which takes the
// keyboard: the user's keys reach the compositor, and it hands them on to
// its active client.
void Desktop::startCompositor()
{
    const QString config = mRuntime.filePath(QStringLiteral("weston.ini"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write weston.ini");
    file.write(QStringLiteral("[core]\nidle-time=0\n"
                              "[shell]\nbackground-color=0x%1\npanel-position=none\nlocking=false\n"
                              "animation=none\nclose-animation=none\nstartup-animation=none\nfocus-animation=none\n")
                   .arg(kBackground, 8, 16, QLatin1Char('0'))
                   .toLatin1());
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), mServer.name());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), mRuntime.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    mHelper.setProcessEnvironment(environment);
    mHelper.start(QStringLiteral("weston"),
                  {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                   QStringLiteral("--socket=") + kWaylandSocket, QStringLiteral("--config=") + config,
                   QStringLiteral("--width=%1").arg(kXvfbScreen.width()),
                   QStringLiteral("--height=%1").arg(kXvfbScreen.height())});
    // Away from the middle, where weston draws its pointer.
    const QPoint corner(10, 10);
    const bool shown = mHelper.waitForStarted(kStartMilliseconds) && QTest::qWaitFor(
        [&] {
            return QFile::exists(mRuntime.filePath(kWaylandSocket)) && !viewableTopLevels(mDisplay).empty() &&
                   capture().pixel(corner) == kBackground;
        },
        kStartMilliseconds);
    if (!shown)
        fail(QStringLiteral("weston did not show its desktop"), mHelper);
    XSetInputFocus(mDisplay, viewableTopLevels(mDisplay).back(), RevertToPointerRoot, CurrentTime);
    sync();
}

void Desktop::paintBackground()
{
    const Window root = DefaultRootWindow(mDisplay);
    XSetWindowBackground(mDisplay, root, kBackground & 0xffffff);
    XClearWindow(mDisplay, root);
    sync();
}

QProcessEnvironment Desktop::clientEnvironment(const QString& configHome) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), mRuntime.path());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (mKind == Kind::Wayland) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), kWaylandSocket);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    } else {
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("DISPLAY"), mServer.name());
    }
    return environment;
}

void Desktop::key(unsigned long keysym, std::initializer_list<unsigned long> modifiers)
{
    const auto send = [this](unsigned long symbol, bool press) {
        XTestFakeKeyEvent(mDisplay, XKeysymToKeycode(mDisplay, symbol), press, CurrentTime);
    };
    for (unsigned long modifier : modifiers)
        send(modifier, true);
    send(keysym, true);
    send(keysym, false);
    for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier)
        send(*modifier, false);
    sync();
}

void Desktop::moveTo(QPoint at)
{
    XTestFakeMotionEvent(mDisplay, -1, at.x(), at.y(), CurrentTime);
    sync();
}

void Desktop::parkPointer()
{
    const QSize screen = screenSize();
    moveTo({screen.width() - 1, screen.height() - 1});
}

void Desktop::button(unsigned int button, bool press)
{
    XTestFakeButtonEvent(mDisplay, button, press, CurrentTime);
    sync();
}

void Desktop::click(QPoint at, unsigned int which)
{
    moveTo(at);
    button(which, true);
    button(which, false);
}

void Desktop::drag(QPoint from, QPoint to)
{
    pressAndMove(from, to);
    release();
}

void Desktop::pressAndMove(QPoint from, QPoint to)
{
    moveTo(from);
    button(1, true);
    moveInSteps(from, to);
}

void Desktop::moveInSteps(QPoint from, QPoint to)
{
    for (int step = 1; step <= kDragSteps; ++step)
        moveTo(from + (to - from) * step / kDragSteps);
}

void Desktop::release()
{
    button(1, false);
}

void Desktop::wheel(QPoint at, int notches)
{
    moveTo(at);
    for (int notch = 0; notch < std::abs(notches); ++notch)
        click(at, notches > 0 ? kWheelAway : kWheelTowards);
}

QSize Desktop::screenSize() const
{
    XWindowAttributes root;
    XGetWindowAttributes(mDisplay, DefaultRootWindow(mDisplay), &root);
    return {root.width, root.height};
}

// A screen that shrank between its size and its pixels is read again at its
// new size.
QImage Desktop::capture() const
{
    QSize size;
    XImage* shot = nullptr;
    for (int attempt = 0; attempt < kScreenReads && !shot; ++attempt) {
        size = screenSize();
        shot = XGetImage(mDisplay, DefaultRootWindow(mDisplay), 0, 0, unsigned(size.width()), unsigned(size.height()),
                         AllPlanes, ZPixmap);
    }
    if (!shot || shot->bits_per_pixel != 32) {
        if (shot)
            XDestroyImage(shot);
        throw std::runtime_error("the screen is not 24-bit colour in 32-bit pixels");
    }
    // A 24-bit screen holds a pixel in 32 bits, as QImage's RGB32 does, but
    // with its unused byte not necessarily opaque.
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const quint32*>(shot->data + y * shot->bytes_per_line);
        auto* to = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            to[x] = 0xff000000u | (from[x] & 0xffffffu);
    }
    XDestroyImage(shot);
    return image;
}

QRect Desktop::topWindow() const
{
    const std::vector<Window> windows = viewableTopLevels(mDisplay);
    XWindowAttributes top;
    if (windows.empty() || !XGetWindowAttributes(mDisplay, windows.back(), &top))
        return {};
    return {top.x, top.y, top.width, top.height};
}

bool Desktop::inputIsFree() const
{
    const Window root = DefaultRootWindow(mDisplay);
    const bool keyboard = XGrabKeyboard(mDisplay, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    const bool pointer = XGrabPointer(mDisplay, root, False, 0, GrabModeAsync, GrabModeAsync, None, None, CurrentTime)
                         == GrabSuccess;
    XUngrabPointer(mDisplay, CurrentTime);
    XUngrabKeyboard(mDisplay, CurrentTime);
    XSync(mDisplay, False);
    return keyboard && pointer;
}

QString Desktop::xrandr(const QStringList& arguments) const
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), mServer.name());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xrandr"), arguments);
    if (!tool.waitForFinished(kStartMilliseconds) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        fail(QStringLiteral("xrandr ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed"), tool);
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

// Without a window manager a program takes the keyboard itself; with one,
// the user's choice goes through it (_NET_ACTIVE_WINDOW, as a task bar
// sends it); on Wayland a new window of another program is made active.
void Desktop::activateAnotherWindow()
{
    closeAnotherWindow();
    if (mKind == Kind::Wayland) {
        mOtherClient.setProcessEnvironment(clientEnvironment(mRuntime.path()));
        mOtherClient.start(QStringLiteral("weston-terminal"), {});
        // The terminal's window is mostly black, which no solid frame of
        // the flight is.
        const auto shown = [&] {
            const QImage screen = capture();
            const auto* pixels = reinterpret_cast<const QRgb*>(screen.constBits());
            return std::count(pixels, pixels + screen.width() * screen.height(), 0xff000000u) > kOtherWindowArea;
        };
        if (!mOtherClient.waitForStarted(kStartMilliseconds) || !QTest::qWaitFor(shown, kStartMilliseconds))
            fail(QStringLiteral("weston-terminal did not show"), mOtherClient);
        return;
    }
    const Window root = DefaultRootWindow(mDisplay);
    const QSize screen = screenSize();
    mOtherWindow = XCreateSimpleWindow(mDisplay, root, screen.width() - 220, screen.height() - 170, 200, 150, 0, 0,
                                       0xffffff);
    XStoreName(mDisplay, mOtherWindow, "Another program");
    XMapRaised(mDisplay, mOtherWindow);
    sync();
    const bool shown = QTest::qWaitFor(
        [&] {
            XWindowAttributes attributes;
            return XGetWindowAttributes(mDisplay, mOtherWindow, &attributes) && attributes.map_state == IsViewable;
        },
        kStartMilliseconds);
    if (!shown)
        throw std::runtime_error("the other window never showed");
    if (mKind != Kind::WindowManager)
        XSetInputFocus(mDisplay, mOtherWindow, RevertToPointerRoot, CurrentTime);
    else
        requestActivation(mOtherWindow);
    sync();
    if (!QTest::qWaitFor([&] { return keyboardWindow(mDisplay) == mOtherWindow; }, kStartMilliseconds))
        throw std::runtime_error("the other window never got the keyboard");
}

void Desktop::switchBackTo(const char* windowName, QPoint click)
{
    switch (mKind) {
    case Kind::BareX:
    case Kind::XorgDummy:
        this->click(click);
        break;
    case Kind::WindowManager:
        requestActivation(clientWindowNamed(windowName));
        break;
    case Kind::Wayland:
        // The compositor handles its own keys in order with the ones after.
        key(XK_Tab, {XK_Super_L});
        return;
    }
    if (!keyboardLeavesTheOtherWindow())
        throw std::runtime_error("the keyboard stayed with the other window");
}

bool Desktop::keyboardLeavesTheOtherWindow() const
{
    return QTest::qWaitFor([&] { return keyboardWindow(mDisplay) != mOtherWindow; }, kStartMilliseconds);
}

// As a task bar asks the window manager, for the user.
void Desktop::requestActivation(unsigned long window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(mDisplay, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // from the user, through a pager or task bar
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(mDisplay, DefaultRootWindow(mDisplay), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
    sync();
}

QString Desktop::keyboardWindowTitle() const
{
    for (Window window = keyboardWindow(mDisplay); window != None && window != PointerRoot;) {
        if (const std::optional<QString> title = titleOf(mDisplay, window))
            return *title;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(mDisplay, window, &root, &parent, &children, &count))
            break;
        if (children)
            XFree(children);
        window = parent == root ? None : parent;
    }
    return {};
}

QStringList Desktop::windowTitles() const
{
    QStringList titles;
    const std::function<void(Window)> search = [&](Window window) {
        if (const std::optional<QString> title = titleOf(mDisplay, window))
            titles << *title;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(mDisplay, window, &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count; ++i)
                search(children[i]);
            if (children)
                XFree(children);
        }
    };
    search(DefaultRootWindow(mDisplay));
    return titles;
}

void Desktop::type(const QString& text)
{
    for (const QChar character : text) {
        const char c = character.toLatin1();
        const KeySym keysym = c == ' ' ? XK_space : XStringToKeysym(QByteArray(1, c).constData());
        const KeySym named = keysym != NoSymbol ? keysym : [c] {
            switch (c) {
            case '/': return KeySym(XK_slash);
            case '.': return KeySym(XK_period);
            case '-': return KeySym(XK_minus);
            case '_': return KeySym(XK_underscore);
            default: throw std::runtime_error(std::string("cannot type ") + c);
            }
        }();
        const bool shifted = std::isupper(static_cast<unsigned char>(c)) || c == '_';
        if (shifted)
            key(named, {XK_Shift_L});
        else
            key(named);
    }
}

// The program's own top-level window, inside the frame the window manager
// puts around it.
unsigned long Desktop::clientWindowNamed(const char* name) const
{
    const std::function<Window(Window)> search = [&](Window window) -> Window {
        char* windowName = nullptr;
        if (XFetchName(mDisplay, window, &windowName) && windowName) {
            const bool found = std::strcmp(windowName, name) == 0 && hasProperty(mDisplay, window, "WM_STATE");
            XFree(windowName);
            if (found)
                return window;
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(mDisplay, window, &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i)
                found = search(children[i]);
            if (children)
                XFree(children);
        }
        return found;
    };
    const Window window = search(DefaultRootWindow(mDisplay));
    if (!window)
        throw std::runtime_error(std::string("no window named ") + name);
    return window;
}

void Desktop::closeAnotherWindow()
{
    if (mOtherClient.state() != QProcess::NotRunning) {
        mOtherClient.kill();
        mOtherClient.waitForFinished();
    }
    if (mOtherWindow) {
        XDestroyWindow(mDisplay, mOtherWindow);
        mOtherWindow = 0;
        sync();
    }
}

void Desktop::sync()
{
    XSync(mDisplay, False);
}
