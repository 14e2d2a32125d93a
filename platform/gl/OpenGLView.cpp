#include "platform/gl/OpenGLView.h"

#include "platform/gl/OpenGLContext.h"
#include "platform/gl/PixelFormat.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cstdlib>
#include <utility>
#include <xcb/xcb.h>

// The view never holds the keyboard itself: the window it is embedded in
// passes its keys on. A surface of its own with
// the keyboard would lose it for good to the window system's bookkeeping
// once another program had the keyboard in between, and on Wayland it
// never gets it at all.
OpenGLView::OpenGLView()
{
    setSurfaceType(QSurface::OpenGLSurface);
    setFlag(Qt::WindowDoesNotAcceptFocus);
}

OpenGLView::~OpenGLView()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeNativeEventFilter(this);
    // Drawing may still be pending; nothing must run on a half-destroyed view.
    QCoreApplication::removePostedEvents(this);
}

bool OpenGLView::setUp(QSize size, std::unique_ptr<PixelFormat> pixelFormat)
{
    if (!pixelFormat)
        return false;
    setFormat(pixelFormat->drawableFormat());
    resize(size);
    create();
    QCoreApplication::instance()->installNativeEventFilter(this);
    mContext = OpenGLContext::create(*pixelFormat, nullptr);
    if (!mContext)
        return false;
    mContext->setDrawable(this);
    mPixelFormat = std::move(pixelFormat);
    return true;
}

void OpenGLView::setPixelFormat(std::unique_ptr<PixelFormat> pixelFormat)
{
    if (!pixelFormat || !mContext)
        return;
    mContext->setSamples(*pixelFormat);
    mPixelFormat = std::move(pixelFormat);
    setNeedsDisplay(true);
}

QWidget* OpenGLView::container()
{
    if (!mContainer) {
        mContainer = QWidget::createWindowContainer(this);
        mContainer->setFocusPolicy(Qt::NoFocus);
        mContainer->setMinimumSize(1, 1);
    }
    return mContainer;
}

void OpenGLView::setNeedsDisplay(bool needsDisplay)
{
    if (!needsDisplay || mDisplayPending)
        return;
    mDisplayPending = true;
    QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest));
}

void OpenGLView::display()
{
    mDisplayPending = false;
    if (mContext && !canBeSeen()) {
        ++mFramesUnseen;
        return;
    }
    if (!mContext || !mContext->makeCurrentContext())
        return;
    drawRect(bounds());
    if (mFramesDrawn++ == 0 && mContainer)
        revealFirstFrame();
}

bool OpenGLView::canBeSeen() const
{
    if (!isExposed() || mFullyObscured)
        return false;
    // A child window keeps its exposure when its top-level window is
    // unmapped; only the top-level one is told.
    const QWindow* top = mContainer && mContainer->window() ? mContainer->window()->windowHandle() : nullptr;
    return !top || top->isExposed();
}

void OpenGLView::watchObscuring()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return;
    xcb_connection_t* connection = x11->connection();
    const auto window = static_cast<xcb_window_t>(winId());
    xcb_get_window_attributes_reply_t* attributes =
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    if (!attributes)
        return;
    // The event mask is this client's, shared with Qt, which sets it anew
    // when it maps the window: add to it each time, never replace it.
    const std::uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    const bool watching = mask == attributes->your_event_mask;
    std::free(attributes);
    if (!watching) {
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
    }
}

bool OpenGLView::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != QByteArrayLiteral("xcb_generic_event_t"))
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_VISIBILITY_NOTIFY)
        return false;
    const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
    if (visibility->window != static_cast<xcb_window_t>(winId()))
        return false;
    const bool wasObscured = std::exchange(mFullyObscured, visibility->state == XCB_VISIBILITY_FULLY_OBSCURED);
    if (wasObscured && !mFullyObscured)
        setNeedsDisplay(true);
    return false;
}

// On Wayland the view is a subsurface of its window's surface, and a
// subsurface shows only from the first commit of its parent after it was
// made: the window draws itself once more, so that the flight appears even
// when nothing else of the window changes.
void OpenGLView::revealFirstFrame()
{
    mContainer->window()->update();
}

QRectF OpenGLView::bounds() const
{
    return {0.0, 0.0, double(width()), double(height())};
}

QRectF OpenGLView::convertRectToBacking(const QRectF& rect) const
{
    const double ratio = devicePixelRatio();
    return {rect.topLeft() * ratio, rect.size() * ratio};
}

void OpenGLView::drawRect(const QRectF&) {}

void OpenGLView::reshape() {}

void OpenGLView::mouseDown(QMouseEvent*) {}

void OpenGLView::mouseDragged(QMouseEvent*) {}

void OpenGLView::scrollWheel(QWheelEvent*) {}

bool OpenGLView::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        if (mDisplayPending)
            display();
        return true;
    }
    return QWindow::event(event);
}

void OpenGLView::exposeEvent(QExposeEvent*)
{
    watchObscuring();
    if (isExposed())
        display();
}

void OpenGLView::resizeEvent(QResizeEvent*)
{
    if (mContext && mContext->makeCurrentContext())
        reshape();
}

void OpenGLView::mousePressEvent(QMouseEvent* event)
{
    // A click on the view is a click on its window: without a window manager
    // to do it, the window takes the keyboard.
    if (mContainer)
        mContainer->activateWindow();
    if (event->button() == Qt::LeftButton)
        mouseDown(event);
}

void OpenGLView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(event);
}

void OpenGLView::wheelEvent(QWheelEvent* event)
{
    scrollWheel(event);
}

void OpenGLView::enterFullScreenMode(QScreen* screen)
{
    QWidget* window = container()->window();
    mWindowStateBeforeFullScreen = window->windowState();
    mHiddenChrome.clear();
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        std::vector<QWidget*> chrome{main->menuBar()};
        for (QToolBar* toolBar : main->findChildren<QToolBar*>())
            chrome.push_back(toolBar);
        for (QWidget* widget : chrome) {
            if (widget && widget->isVisible()) {
                widget->hide();
                mHiddenChrome.push_back(widget);
            }
        }
    }
    if (screen && window->windowHandle())
        window->windowHandle()->setScreen(screen);
    window->showFullScreen();
}

void OpenGLView::exitFullScreenMode()
{
    QWidget* window = container()->window();
    window->setWindowState(mWindowStateBeforeFullScreen & ~Qt::WindowFullScreen);
    window->show();
    for (QWidget* widget : mHiddenChrome)
        widget->show();
    mHiddenChrome.clear();
}
