#include "app/MainWindow.h"

#include "app/ExportMenu.h"
#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/system/Defaults.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Toolbar.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QCoreApplication>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <utility>

namespace {

const QString kAboutItem = QStringLiteral("About Item Identifier");
const QString kQuitItem = QStringLiteral("Quit Item Identifier");

// The grid-size slider ends at the height image's width, read from its header.
int heightImageWidth()
{
    const auto path = ResourceBundle::mainBundle().pathForResource(QStringLiteral("heightmap"), QStringLiteral("png"));
    return path ? QImageReader(*path).size().width() : 0;
}

} // namespace

MainWindow::MainWindow(const QString& terrainFile)
{
    // Before anything reads a setting.
    Defaults::registerWithStandardStore();
    setWindowTitle(QStringLiteral("Ferlow"));
    resize(kDefaultWidth, kDefaultHeight);
    QCoreApplication::instance()->installEventFilter(this);
    std::unique_ptr<FerlowOpenGLView> view =
        FerlowOpenGLView::create({kDefaultWidth, kDefaultHeight});
    if (view) {
        mView = view.release();
        setCentralWidget(mView->container()); // the container owns the view from here on
        mPanel = new PreferencesPanel(this, heightImageWidth());
        mController = std::make_unique<MainController>(*mView, *this, *mPanel, mCommands);
        // Keys work again without a click once the panel is gone.
        mPanel->setOnClose([this] { activateWindow(); });
        mTerrainMenu = std::make_unique<TerrainMenu>(*this, *mView, *prefsController(),
                                                     SettingsStore::shared(), heightImageWidth(), mCommands);
        mExportMenu = std::make_unique<ExportMenu>(*this, *mView, mCommands);
    } else {
        showNoOpenGLMessage();
    }
    buildMenus();
    if (mTerrainMenu)
        mTerrainMenu->openAtStart(terrainFile);
}

MainWindow::~MainWindow()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

PrefsController* MainWindow::prefsController() const
{
    return mController ? &mController->prefsController() : nullptr;
}

Toolbar* MainWindow::toolbar() const
{
    return findChild<Toolbar*>(QString(), Qt::FindDirectChildrenOnly);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (mView) {
        event->accept();
        QCoreApplication::sendEvent(mView, event);
        if (event->isAccepted())
            return;
    }
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
        && static_cast<QWidget*>(watched)->window() == this)
        activateWindow();
    return false;
}

void MainWindow::showNoOpenGLMessage()
{
    auto* label = new QLabel(QStringLiteral("Ferlow could not get an OpenGL surface with a depth buffer and "
                                            "double buffering on this display, so there is nothing to show."));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(24);
    setCentralWidget(label);
}

// No command here takes a shortcut the keyboard commands use (space,
// letters, arrows, Escape): those keys belong to the view.
void MainWindow::buildMenus()
{
    auto* about = new QAction(QStringLiteral("&About Ferlow"), this);
    QObject::connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, QStringLiteral("About Ferlow"),
                           QStringLiteral("<h3>Ferlow</h3><p>A real-time flight over a textured terrain, "
                                          "drawn with OpenGL.</p><p>Space starts and stops the flight, W "
                                          "toggles wire frame; drag to turn the camera, scroll to zoom.</p>"));
    });
    mCommands.add(kAboutItem, about);
    // As a signal does (OrderlyExit.h): the application closes its windows
    // and ends, and a full screen under way ends first.
    auto* quit = new QAction(QStringLiteral("&Quit"), this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    mCommands.add(kQuitItem, quit);

    addMenu(QStringLiteral("&Ferlow"), {kAboutItem, MainController::kPrefsItem, {}, kQuitItem});
    if (!mView)
        return;
    // "F&ile": Alt+F opens the Ferlow menu.
    addMenu(QStringLiteral("F&ile"),
            {TerrainMenu::kOpenTerrainItem, TerrainMenu::kOpenRecentItem, TerrainMenu::kBuiltInTerrainItem, {},
             ExportMenu::kSavePictureItem, ExportMenu::kExportVideoItem});
    addMenu(QStringLiteral("&View"), {MainController::kStartItem, MainController::kStopItem,
                                      MainController::kWireFrameItem, MainController::kAntialiasingItem, {},
                                      MainController::kFullScreenItem});
}

// An empty identifier stands for a separator; a command nobody registered
// (Preferences, without a view) is left out.
void MainWindow::addMenu(const QString& title, const QStringList& items)
{
    QMenu* menu = menuBar()->addMenu(title);
    for (const QString& identifier : items) {
        if (identifier.isEmpty())
            menu->addSeparator();
        else if (QAction* command = mCommands.action(identifier))
            menu->addAction(command);
    }
}
