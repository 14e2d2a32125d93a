#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class FerlowOpenGLView;
class PrefsController;
class QMenu;
class QMenuBar;
class SettingsStore;
class TerrainImage;
class Window;

// The terrain flown and the three ways to choose it: the command line, the
// File menu (Open Terrain…, Open Recent, Built-in Terrain) and a height image
// dropped on the main window. The choice is stored at once and opened again
// at the next start; the window's title names it. A file that cannot be
// opened changes nothing, neither the flight nor anything stored: the user
// is told why, in a message box from the menu or a drop, on standard error
// from the command line.
class TerrainMenu : public QObject {
public:
    static inline const QString kTerrainImageKey = QStringLiteral("TerrainImage");
    static inline const QString kRecentTerrainImagesKey = QStringLiteral("RecentTerrainImages");
    static constexpr int kRecentCount = 5;

    // Takes drops anywhere on window, the view included. The built-in
    // height image is builtInWidth pixels wide.
    TerrainMenu(Window& window, FerlowOpenGLView& view, PrefsController& prefs, SettingsStore& store,
                int builtInWidth);

    // The File menu, added to the end of the menu bar.
    void addTo(QMenuBar& menuBar);

    // Before the first frame: the file named on the command line if there is
    // one, else the stored one, else the built-in terrain.
    void openAtStart(const QString& commandLineFile);

    // How a failure is told.
    enum class Failure { MessageBox, StandardError };
    // Opens the height image at path and flies it; false, with the flight
    // and the store unchanged, when it cannot.
    bool openTerrain(const QString& path, Failure tell);
    void openBuiltInTerrain();
    void openTerrainWithDialog();

    // The recent files that still exist, the newest first.
    QStringList recentTerrains() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fly(std::shared_ptr<const TerrainImage> terrain);
    void remember(const QString& path);
    void showTitle();
    void fillRecentMenu();

    Window& mWindow;
    FerlowOpenGLView& mView;
    PrefsController& mPrefs;
    SettingsStore& mStore;
    int mBuiltInWidth;
    QMenu* mRecentMenu = nullptr;
};
