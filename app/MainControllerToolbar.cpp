// The MainController's commands, one action each for the menus and the
// toolbar alike, and the main window's toolbar over them. The actions
// follow the controller's signals; the window owns the toolbar, and the
// toolbar keeps the user's arrangement between runs under its identifier.
#include "app/MainController.h"

#include "platform/toolkit/ActionRegistry.h"
#include "platform/toolkit/Toolbar.h"
#include "platform/toolkit/ToolbarImage.h"
#include "view/FerlowOpenGLView.h"

#include <QAction>
#include <QMainWindow>

namespace {

const QString kToolbarIdentifier = QStringLiteral("Toolbar Identifier");

} // namespace

// Start and Stop offer only the change the animation can make.
void MainController::addCommands(ActionRegistry& commands)
{
    struct Command {
        const QString& identifier;
        QString menuText;
        QString label; // on the toolbar and in its palette
        QString toolTip;
        QString imageName;
        QKeySequence shortcut;
        void (MainController::*action)();
    };
    const Command kCommands[] = {
        {kFullScreenItem, QStringLiteral("&Full Screen"), QStringLiteral("Full Screen"),
         QStringLiteral("Switch to Full Screen mode (use esc key to exit)"), QStringLiteral("Present"),
         QKeySequence(Qt::Key_F11), &MainController::selectFullScreen},
        {kStartItem, QStringLiteral("&Start"), QStringLiteral("Start"), QStringLiteral("Start Animation"),
         QStringLiteral("Run"), {}, &MainController::selectStartAnimation},
        {kStopItem, QStringLiteral("S&top"), QStringLiteral("Stop"), QStringLiteral("Stop Animation"),
         QStringLiteral("Stop"), {}, &MainController::selectStopAnimation},
        {kWireFrameItem, QStringLiteral("&Wire Frame"), QStringLiteral("Wire Frame"),
         QStringLiteral("Toggle Wire Frame Mode"), QStringLiteral("wireframe"), {}, &MainController::toggleWireFrame},
        {kPrefsItem, QStringLiteral("&Preferences…"), QStringLiteral("Preferences"), QStringLiteral("Preferences"),
         QStringLiteral("ferlowprefs"), QKeySequence(Qt::CTRL | Qt::Key_Comma), &MainController::openPrefsWindow},
    };
    for (const Command& command : kCommands) {
        auto* action = new QAction(command.menuText, this);
        action->setIconText(command.label);
        action->setToolTip(command.toolTip);
        action->setIcon(ToolbarImage::icon(command.imageName));
        action->setIconVisibleInMenu(false); // the menus show words only
        action->setShortcut(command.shortcut);
        connect(action, &QAction::triggered, this, command.action);
        commands.add(command.identifier, action);
    }
    QAction* start = commands.action(kStartItem);
    QAction* stop = commands.action(kStopItem);
    start->setEnabled(!isAnimating);
    stop->setEnabled(isAnimating);
    connect(this, &MainController::animatingChanged, start, [start](bool animating) { start->setEnabled(!animating); });
    connect(this, &MainController::animatingChanged, stop, &QAction::setEnabled);

    auto* antialiasing = new QAction(QStringLiteral("&Antialiasing"), this);
    antialiasing->setCheckable(true);
    antialiasing->setChecked(mOpenGLView->fullSceneAntialiasing());
    connect(antialiasing, &QAction::triggered, this, &MainController::toggleAntialiasing);
    connect(this, &MainController::antialiasingChanged, antialiasing, &QAction::setChecked);
    commands.add(kAntialiasingItem, antialiasing);
}

// Along the top of the window, which owns it.
void MainController::setupToolbar(const ActionRegistry& commands)
{
    mFerlowWindow->addToolBar(Qt::TopToolBarArea,
                              new Toolbar(kToolbarIdentifier, commands,
                                          QStringList{kStartItem, kStopItem, kFullScreenItem, kWireFrameItem, kPrefsItem}));
}
