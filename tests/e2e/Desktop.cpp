#include "tests/e2e/Desktop.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace {

constexpr int kStartMilliseconds = 30000;
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
{
    if (!mRuntime.isValid())
        throw std::runtime_error("no temporary folder");
    QFile::setPermissions(mRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    startServer();
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
    mServer.terminate();
    if (!mServer.waitForFinished(5000))
        mServer.kill();
    mServer.waitForFinished();
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
    }
    return "";
}

// Xvfb on the first free display, which it names on its standard output;
// it never resets between clients, so no client is ever refused.
void Desktop::startServer()
{
    const QString screen = QStringLiteral("%1x%2x24").arg(mScreenSize.width()).arg(mScreenSize.height());
    mServer.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), screen, QStringLiteral("-noreset"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!mServer.waitForStarted(kStartMilliseconds))
        fail(QStringLiteral("Xvfb did not start"), mServer);
    while (!mServer.canReadLine()) {
        if (!mServer.waitForReadyRead(kStartMilliseconds))
            fail(QStringLiteral("Xvfb named no display"), mServer);
    }
    mDisplayName = QStringLiteral(":") + QString::fromLatin1(mServer.readLine()).trimmed();
    mDisplay = XOpenDisplay(mDisplayName.toLatin1().constData());
    int event = 0, error = 0, major = 0, minor = 0;
    if (!mDisplay || !XTestQueryExtension(mDisplay, &event, &error, &major, &minor))
        throw std::runtime_error("no XTest on " + mDisplayName.toStdString());
}

void Desktop::startWindowManager()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), mDisplayName);
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
    environment.insert(QStringLiteral("DISPLAY"), mDisplayName);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), mRuntime.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    mHelper.setProcessEnvironment(environment);
    mHelper.start(QStringLiteral("weston"),
                  {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                   QStringLiteral("--socket=") + kWaylandSocket, QStringLiteral("--config=") + config,
                   QStringLiteral("--width=%1").arg(mScreenSize.width()),
                   QStringLiteral("--height=%1").arg(mScreenSize.height())});
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
        environment.insert(QStringLiteral("DISPLAY"), mDisplayName);
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
    moveTo({mScreenSize.width() - 1, mScreenSize.height() - 1});
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
    moveTo(from);
    button(1, true);
    for (int step = 1; step <= kDragSteps; ++step)
        moveTo(from + (to - from) * step / kDragSteps);
    button(1, false);
}

void Desktop::wheel(QPoint at, int notches)
{
    moveTo(at);
    for (int notch = 0; notch < std::abs(notches); ++notch)
        click(at, notches > 0 ? kWheelAway : kWheelTowards);
}

QImage Desktop::capture() const
{
    XImage* shot = XGetImage(mDisplay, DefaultRootWindow(mDisplay), 0, 0, unsigned(mScreenSize.width()),
                             unsigned(mScreenSize.height()), AllPlanes, ZPixmap);
    if (!shot || shot->bits_per_pixel != 32) {
        if (shot)
            XDestroyImage(shot);
        throw std::runtime_error("the screen is not 24-bit colour in 32-bit pixels");
    }
    // A 24-bit screen holds a pixel in 32 bits, as QImage's RGB32 does, but
    // with its unused byte not necessarily opaque.
    QImage image(mScreenSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const quint32*>(shot->data + y * shot->bytes_per_line);
        auto* to = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            to[x] = 0xff000000u | (from[x] & 0xffffffu);
    }
    XDestroyImage(shot);
    return image;
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
    mOtherWindow = XCreateSimpleWindow(mDisplay, root, mScreenSize.width() - 220, mScreenSize.height() - 170, 200, 150,
                                       0, 0, 0xffffff);
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
    if (mKind == Kind::BareX)
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
