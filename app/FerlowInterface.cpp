#include "app/FerlowInterface.h"

#include "app/MainController.h"
#include "app/TerrainMenu.h"
#include "platform/system/Defaults.h"
#include "platform/system/ResourceBundle.h"
#include "platform/system/SettingsStore.h"
#include "platform/toolkit/Window.h"
#include "prefs/PreferencesPanel.h"
#include "prefs/PrefsController.h"
#include "view/FerlowOpenGLView.h"

#include <QApplication>
#include <QImageReader>
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

FerlowInterface::FerlowInterface(const QString& terrainFile)
    : mController(std::make_unique<MainController>())
    , mPrefsController(std::make_unique<PrefsController>())
    , mWindow(std::make_unique<Window>())
{
    // Loading the interface registers the defaults, once and before any of
    // its objects reads a setting.
    Defaults::registerWithStandardStore();
    mWindow->setWindowTitle(QStringLiteral("Ferlow"));
    mWindow->resize(kDefaultWidth, kDefaultHeight);
    std::unique_ptr<FerlowOpenGLView> view =
        FerlowOpenGLView::initWithFrame({0, 0, double(kDefaultWidth), double(kDefaultHeight)});
    if (view) {
        mView = view.release();
        mWindow->setCentralWidget(mView->container()); // the container owns the view from here on
        if (mView->acceptsFirstResponder())
            mWindow->setFirstResponder(mView);
        mView->setController(mController.get());
        buildPreferences();
        mController->setOutlets(mView, mWindow.get(), mPanel, mPrefsController.get());
        mController->addCommands(mCommands);
        mTerrainMenu = std::make_unique<TerrainMenu>(*mWindow, *mView, *mPrefsController,
                                                     SettingsStore::standardUserDefaults(), heightImageWidth(), mCommands);
    } else {
        showNoOpenGLMessage();
    }
    buildMenus();
    if (mTerrainMenu)
        mTerrainMenu->openAtStart(terrainFile);
}

// The controllers go first: they refer to the view and the panel, which the
// window owns.
FerlowInterface::~FerlowInterface()
{
    mTerrainMenu.reset();
    mController.reset();
    mPrefsController.reset();
}

std::vector<InterfaceObject*> FerlowInterface::awakeOrder()
{
    if (!mView)
        return {};
    return {mController.get(), mPrefsController.get()};
}

void FerlowInterface::buildPreferences()
{
    mPanel = new PreferencesPanel(mWindow.get(), heightImageWidth());
    PreferencesPanel& p = *mPanel;
    mPrefsController->setOutlets(p, mView);
    PrefsController* prefs = mPrefsController.get();
    const std::pair<SceneSettingId, void (PrefsController::*)(FloatSlider*)> sliderActions[] = {
        {SceneSettingId::GridSize, &PrefsController::selectGridSize},
        {SceneSettingId::FerlowHeight, &PrefsController::selectFerlowHeight},
        {SceneSettingId::Speed, &PrefsController::selectSpeed},
        {SceneSettingId::LookAhead, &PrefsController::selectLookAhead},
        {SceneSettingId::CameraHeight, &PrefsController::selectCameraHeight},
        {SceneSettingId::FogDensity, &PrefsController::selectFogDensity},
    };
    for (const auto& [id, action] : sliderActions) {
        FloatSlider* slider = p.row(id).slider;
        QObject::connect(slider, &QSlider::valueChanged, mPanel, [prefs, action, slider] { (prefs->*action)(slider); });
    }
    QObject::connect(p.fogColourButton, &ColorButton::colorPicked, mPanel,
                     [prefs, button = p.fogColourButton] { prefs->selectFogColour(button); });
    QObject::connect(p.resolutionPopUpButton, &QComboBox::activated, mPanel, [prefs] { prefs->selectResolution(); });
    QObject::connect(p.defaultSettingsButton, &QPushButton::clicked, mPanel,
                     [prefs] { prefs->selectDefaultSettings(); });
    QObject::connect(p.trueProportionsButton, &QPushButton::clicked, mPanel,
                     [prefs] { prefs->selectTrueProportions(); });
    // Keys work again without a click once the panel is gone.
    mPanel->setOnClose([this] { mWindow->activateWindow(); });
}

ApplicationDelegate& FerlowInterface::delegate()
{
    return *mController;
}

void FerlowInterface::showMainWindow()
{
    mWindow->makeKeyAndOrderFront();
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
    auto* about = new QAction(QStringLiteral("&About Ferlow"), mWindow.get());
    QObject::connect(about, &QAction::triggered, mWindow.get(), [this] {
        QMessageBox::about(mWindow.get(), QStringLiteral("About Ferlow"),
                           QStringLiteral("<h3>Ferlow</h3><p>A real-time flight over a textured terrain, "
                                          "drawn with OpenGL.</p><p>Space starts and stops the flight, W "
                                          "toggles wire frame; drag to turn the camera, scroll to zoom.</p>"));
    });
    mCommands.add(kAboutItem, about);
    // As a signal does (OrderlyExit.h): the application closes its windows
    // and ends, and a full screen under way ends first.
    auto* quit = new QAction(QStringLiteral("&Quit"), mWindow.get());
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    QObject::connect(quit, &QAction::triggered, qApp, &QCoreApplication::quit);
    mCommands.add(kQuitItem, quit);

    addMenu(QStringLiteral("&Ferlow"), {kAboutItem, MainController::kPrefsItem, {}, kQuitItem});
    if (!mView)
        return;
    // "F&ile": Alt+F opens the Ferlow menu.
    addMenu(QStringLiteral("F&ile"),
            {TerrainMenu::kOpenTerrainItem, TerrainMenu::kOpenRecentItem, TerrainMenu::kBuiltInTerrainItem});
    addMenu(QStringLiteral("&View"), {MainController::kStartItem, MainController::kStopItem,
                                      MainController::kWireFrameItem, MainController::kAntialiasingItem, {},
                                      MainController::kFullScreenItem});
}

// An empty identifier stands for a separator; a command nobody registered
// (Preferences, without a view) is left out.
void FerlowInterface::addMenu(const QString& title, const QStringList& items)
{
    QMenu* menu = mWindow->menuBar()->addMenu(title);
    for (const QString& identifier : items) {
        if (identifier.isEmpty())
            menu->addSeparator();
        else if (QAction* command = mCommands.action(identifier))
            menu->addAction(command);
    }
}
