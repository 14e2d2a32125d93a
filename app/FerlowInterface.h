#pragma once

#include "platform/toolkit/ActionRegistry.h"
#include "platform/toolkit/Application.h"

#include <QString>
#include <memory>

class FerlowOpenGLView;
class MainController;
class PreferencesPanel;
class PrefsController;
class TerrainMenu;
class Window;

// The main interface: the main window titled "Ferlow" with its menu bar and
// the OpenGL view, the preferences panel, and the two controllers, connected
// to each other; and the commands of the menus and the toolbar, each made
// once by the object that carries it out.
class FerlowInterface : public MainInterface {
public:
    static constexpr int kDefaultWidth = 1024;
    static constexpr int kDefaultHeight = 640;

    // Flies terrainFile when one is given (the command line's), else the
    // terrain stored, else the built-in one.
    explicit FerlowInterface(const QString& terrainFile = {});
    ~FerlowInterface() override;

    std::vector<InterfaceObject*> awakeOrder() override;
    ApplicationDelegate& delegate() override;
    void showMainWindow() override;

    Window* window() const { return mWindow.get(); }
    FerlowOpenGLView* view() const { return mView; }
    MainController* controller() const { return mController.get(); }
    PrefsController* prefsController() const { return mPrefsController.get(); }
    PreferencesPanel* preferencesPanel() const { return mPanel; }
    TerrainMenu* terrainMenu() const { return mTerrainMenu.get(); }

private:
    void buildPreferences();

    void buildMenus();
    void addMenu(const QString& title, const QStringList& items);
    void showNoOpenGLMessage();

    ActionRegistry mCommands; // outlives the window's menus and toolbar
    std::unique_ptr<MainController> mController;
    std::unique_ptr<PrefsController> mPrefsController;
    std::unique_ptr<TerrainMenu> mTerrainMenu;
    std::unique_ptr<Window> mWindow;
    FerlowOpenGLView* mView = nullptr; // owned by the window, through its container
    PreferencesPanel* mPanel = nullptr; // owned by the window
};
