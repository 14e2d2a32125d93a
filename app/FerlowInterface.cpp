#include "app/FerlowInterface.h"

#include "app/FerlowOpenGLView.h"
#include "app/MainController.h"
#include "platform/Window.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>

FerlowInterface::FerlowInterface()
    : mController(std::make_unique<MainController>())
    , mWindow(std::make_unique<Window>())
{
    mWindow->setWindowTitle(QStringLiteral("Ferlow"));
    mWindow->resize(kDefaultWidth, kDefaultHeight);
    std::unique_ptr<FerlowOpenGLView> view =
        FerlowOpenGLView::initWithFrame({0, 0, double(kDefaultWidth), double(kDefaultHeight)});
    if (view) {
        mView = view.release();
        mWindow->setCentralWidget(mView->container()); // the container owns the view from here on
        mView->setController(mController.get());
        mController->setOutlets(mView, mWindow.get());
    } else {
        showNoOpenGLMessage();
    }
    buildMenus();
}

// The controller goes first: it refers to the view, which the window owns.
FerlowInterface::~FerlowInterface()
{
    mController.reset();
}

std::vector<InterfaceObject*> FerlowInterface::awakeOrder()
{
    if (!mView)
        return {};
    return {mController.get()};
}

ApplicationDelegate& FerlowInterface::delegate()
{
    return *mController;
}

void FerlowInterface::showMainWindow()
{
    mWindow->makeKeyAndOrderFront();
    if (mView)
        mView->container()->setFocus(Qt::ActiveWindowFocusReason);
}

void FerlowInterface::showNoOpenGLMessage()
{
    auto* label = new QLabel(QStringLiteral("Ferlow could not get an OpenGL surface with a depth buffer and "
                                            "double buffering on this display, so there is nothing to show."));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(24);
    mWindow->setCentralWidget(label);
}

// No command here takes a shortcut the keyboard commands use (space,
// letters, arrows, Escape): those keys belong to the view.
void FerlowInterface::buildMenus()
{
    QMenuBar* bar = mWindow->menuBar();
    QMenu* ferlow = bar->addMenu(QStringLiteral("&Ferlow"));
    ferlow->addAction(QStringLiteral("&About Ferlow"), mWindow.get(), [this] {
        QMessageBox::about(mWindow.get(), QStringLiteral("About Ferlow"),
                           QStringLiteral("<h3>Ferlow</h3><p>A real-time flight over a textured terrain, "
                                          "drawn with OpenGL.</p><p>Space starts and stops the flight, W "
                                          "toggles wire frame; drag to turn the camera, scroll to zoom.</p>"));
    });
    ferlow->addSeparator();
    QAction* quit = ferlow->addAction(QStringLiteral("&Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);

    if (!mView)
        return;
    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    MainController* controller = mController.get();
    mStartAction = view->addAction(QStringLiteral("&Start"), mWindow.get(), [controller] { controller->selectStartAnimation(); });
    mStopAction = view->addAction(QStringLiteral("S&top"), mWindow.get(), [controller] { controller->selectStopAnimation(); });
    view->addAction(QStringLiteral("&Wire Frame"), mWindow.get(), [controller] { controller->toggleWireFrame(); });
    QObject::connect(view, &QMenu::aboutToShow, mWindow.get(), [this] { updateMenuStates(); });
}

void FerlowInterface::updateMenuStates()
{
    mStartAction->setEnabled(!mController->animating());
    mStopAction->setEnabled(mController->animating());
}
