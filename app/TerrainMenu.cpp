#include "app/TerrainMenu.h"

#include "platform/system/BackgroundTask.h"
#include "platform/system/BitmapImageRep.h"
#include "platform/system/FilePath.h"
#include "platform/system/ReadProgress.h"
#include "platform/system/SettingsStore.h"
#include "platform/system/SystemLog.h"
#include "platform/toolkit/ActionRegistry.h"
#include "prefs/PrefsController.h"
#include "scene/Scene.h"
#include "terrain/TerrainImage.h"
#include "view/FerlowOpenGLView.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QString kTitle = QStringLiteral("Ferlow");

// "*.png *.jpg …": every type Qt's image readers on this system handle.
QString readableImagePatterns()
{
    QStringList patterns;
    for (const QByteArray& suffix : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(suffix);
    return patterns.join(QLatin1Char(' '));
}

// Elevation rasters by the names people give them: GeoTIFF, SRTM tiles,
// ASCII and binary grids, USGS and ERDAS models, virtual rasters, and the
// raw heightmaps of terrain tools.
const QString kElevationPatterns = QStringLiteral(
    "*.tif *.tiff *.hgt *.asc *.dem *.img *.vrt *.bil *.flt *.grd *.adf *.nc *.ter *.xyz *.r16 *.raw");

// The first local file among the dropped URLs, or nothing.
QString droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl& url : data->urls())
        if (const QString path = FilePath::fromUrl(url); !path.isEmpty())
            return path;
    return {};
}

QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return FilePath::forDisplay(name.isEmpty() ? path : name);
}

// Progress shows only for an opening that lasts: most are done before.
constexpr int kProgressDelayMilliseconds = 500;
constexpr int kProgressSteps = 1000;

} // namespace

TerrainMenu::TerrainMenu(QMainWindow& window, FerlowOpenGLView& view, PrefsController& prefs, SettingsStore& store,
                         int builtInWidth, ActionRegistry& commands)
    : mWindow(window)
    , mView(view)
    , mPrefs(prefs)
    , mStore(store)
    , mBuiltInWidth(builtInWidth)
    , mRecentMenu(new QMenu(QStringLiteral("Open &Recent"), &window))
{
    mWindow.setAcceptDrops(true);
    mWindow.installEventFilter(this);
    // The flight is a window of its own in a container, which hands drags
    // to it and reports them taken: they never reach the main window.
    mView.container()->installEventFilter(this);

    auto* open = new QAction(QStringLiteral("&Open Terrain…"), this);
    open->setShortcut(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &TerrainMenu::openTerrainWithDialog);
    commands.add(kOpenTerrainItem, open);
    // Listed as the menu opens: a file may have gone since.
    connect(mRecentMenu, &QMenu::aboutToShow, this, &TerrainMenu::fillRecentMenu);
    commands.add(kOpenRecentItem, mRecentMenu->menuAction());
    auto* builtIn = new QAction(QStringLiteral("&Built-in Terrain"), this);
    connect(builtIn, &QAction::triggered, this, &TerrainMenu::openBuiltInTerrain);
    commands.add(kBuiltInTerrainItem, builtIn);
}

TerrainMenu::~TerrainMenu()
{
    closeProgress();
}

void TerrainMenu::openAtStart(const QString& commandLineFile)
{
    showTitle();
    if (!commandLineFile.isEmpty())
        startOpening(FilePath::fromStored(commandLineFile), Source::Chosen, Failure::StandardError);
    else if (const QString stored = mStore.objectForKey(kTerrainImageKey).toString(); !stored.isEmpty())
        startOpening(FilePath::fromStored(stored), Source::Stored, Failure::StandardError);
}

void TerrainMenu::openTerrain(const QString& path, Failure tell)
{
    startOpening(FilePath::fromStored(path), Source::Chosen, tell);
}

// The height scale is the one of the moment the opening starts: the light
// map is baked for it (a later change bakes it again).
void TerrainMenu::startOpening(const QString& path, Source source, Failure tell)
{
    // This may run inside the old task's own continuation (a drop while its
    // message box is up).
    BackgroundTask::discard(std::move(mOpening));
    closeProgress();
    const float height = mView.getScene()->getFerlowHeight();
    mOpening = std::make_unique<BackgroundTask>([this, path, source, tell, height](BackgroundTask& task) {
        // Posted only when the bar would move.
        const ReadProgress progress = [this, &task, shown = -1](double fraction) mutable {
            if (const int step = int(std::lround(fraction * kProgressSteps)); step != shown) {
                shown = step;
                task.post([this, step] {
                    if (mProgress)
                        mProgress->setValue(step);
                });
            }
            return !task.isCancelled();
        };
        TerrainImage::Opened opened = TerrainImage::open(path, Scene::kTerrainExtent, height, progress);
        return [this, path, source, tell, opened = std::move(opened)] { finishOpening(path, source, tell, opened); };
    });
    showProgress(path);
}

void TerrainMenu::finishOpening(const QString& path, Source source, Failure tell, const TerrainImage::Opened& opened)
{
    closeProgress();
    if (!opened.terrain) {
        if (source == Source::Stored)
            systemLog(QStringLiteral("Ferlow: the terrain %1 could not be opened (%2); flying the built-in terrain")
                          .arg(FilePath::forDisplay(path), opened.failure)
                          .toStdString());
        else
            tellFailure(path, opened.failure, tell);
        emit this->opened(false);
        return;
    }
    if (source == Source::Chosen) {
        mStore.setObject(FilePath::toStored(opened.terrain->path()), kTerrainImageKey);
        remember(opened.terrain->path());
    }
    fly(opened.terrain);
    showTitle();
    emit this->opened(true);
}

void TerrainMenu::tellFailure(const QString& path, const QString& reason, Failure tell)
{
    const QString message = QStringLiteral("“%1” could not be opened: %2.").arg(displayName(path), reason);
    if (tell == Failure::StandardError) {
        std::fprintf(stderr, "ferlow: %s Flying the built-in terrain.\n", qPrintable(message));
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Could Not Open Terrain"), message, QMessageBox::Ok, &mWindow);
    box.setInformativeText(QStringLiteral("The current terrain flies on."));
    box.exec();
    mWindow.activateWindow();
}

// Non-modal: the flight and the menus stay at hand; opening another file
// cancels this one.
void TerrainMenu::showProgress(const QString& path)
{
    mProgress = new QProgressDialog(QStringLiteral("Opening “%1”…").arg(displayName(path)),
                                    QStringLiteral("Cancel"), 0, kProgressSteps, &mWindow);
    mProgress->setWindowTitle(QStringLiteral("Opening Terrain"));
    mProgress->setMinimumDuration(kProgressDelayMilliseconds);
    mProgress->setAutoReset(false);
    mProgress->setAutoClose(false);
    mProgress->setValue(0);
    connect(mProgress, &QProgressDialog::canceled, this, [this] {
        if (mOpening)
            mOpening->cancel();
        closeProgress();
        mWindow.activateWindow();
    });
}

void TerrainMenu::closeProgress()
{
    if (!mProgress)
        return;
    mProgress->disconnect(this);
    mProgress->cancel(); // also stops the timer that would show it
    mProgress->deleteLater();
    mProgress = nullptr;
}

void TerrainMenu::openBuiltInTerrain()
{
    if (mOpening)
        mOpening->cancel();
    closeProgress();
    mStore.removeObjectForKey(kTerrainImageKey);
    fly(nullptr);
    showTitle();
}

void TerrainMenu::openTerrainWithDialog()
{
    const auto& current = mView.getScene()->terrain();
    const QString folder = current ? QFileInfo(current->path()).absolutePath() : QString();
    const QUrl url = QFileDialog::getOpenFileUrl(
        &mWindow, QStringLiteral("Open Terrain"), QUrl::fromLocalFile(folder),
        QStringLiteral("Elevation data and images (%1 %2);;Elevation data (%1);;Images (%2);;All files (*)")
            .arg(kElevationPatterns, readableImagePatterns()));
    // Keys work again without a click once the dialog is gone: where no
    // window manager hands the keyboard back, it would stay with nobody.
    mWindow.activateWindow();
    if (const QString path = FilePath::fromUrl(url); !path.isEmpty())
        openTerrain(path, Failure::MessageBox);
}

QStringList TerrainMenu::recentTerrains() const
{
    QStringList existing;
    for (const QString& stored : mStore.stringArrayForKey(kRecentTerrainImagesKey).value_or(QStringList()))
        if (const QString path = FilePath::fromStored(stored); existing.size() < kRecentCount && FilePath::isFile(path))
            existing << path;
    return existing;
}

bool TerrainMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &mWindow && watched != mView.container())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* move = static_cast<QDragMoveEvent*>(event);
        if (!droppedFile(move->mimeData()).isEmpty())
            move->acceptProposedAction();
        else
            move->ignore();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString path = droppedFile(drop->mimeData());
        if (!path.isEmpty()) {
            drop->acceptProposedAction();
            // After the drop has been answered: the source waits for that,
            // and a message box would keep it waiting.
            QMetaObject::invokeMethod(
                this, [this, path] { openTerrain(path, Failure::MessageBox); }, Qt::QueuedConnection);
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TerrainMenu::fly(std::shared_ptr<const TerrainImage> terrain)
{
    const int width = terrain ? terrain->heights()->pixelsWide() : mBuiltInWidth;
    mPrefs.flyTerrain(std::move(terrain), width);
}

// The newest first, each path once, at most kRecentKept.
void TerrainMenu::remember(const QString& path)
{
    QStringList recent = mStore.stringArrayForKey(kRecentTerrainImagesKey).value_or(QStringList());
    const QString stored = FilePath::toStored(path);
    recent.removeAll(stored);
    recent.prepend(stored);
    mStore.setObject(recent.mid(0, kRecentKept), kRecentTerrainImagesKey);
}

void TerrainMenu::showTitle()
{
    const auto& terrain = mView.getScene()->terrain();
    mWindow.setWindowTitle(terrain ? kTitle + QStringLiteral(" — ") + terrain->description() : kTitle);
}

// The full path shows as the item's tooltip and in the status bar.
void TerrainMenu::fillRecentMenu()
{
    mRecentMenu->clear();
    mRecentMenu->setToolTipsVisible(true);
    const QStringList paths = recentTerrains();
    const QStringList labels = recentLabels(paths);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        QAction* item = mRecentMenu->addAction(labels[i], this, [this, path] { openTerrain(path, Failure::MessageBox); });
        item->setToolTip(FilePath::forDisplay(path));
        item->setStatusTip(FilePath::forDisplay(path));
    }
    if (paths.isEmpty())
        mRecentMenu->addAction(QStringLiteral("No Recent Terrains"))->setEnabled(false);
    mRecentMenu->addSeparator();
    QAction* clear = mRecentMenu->addAction(QStringLiteral("Clear Menu"), this,
                                            [this] { mStore.removeObjectForKey(kRecentTerrainImagesKey); });
    clear->setEnabled(!paths.isEmpty());
}

QStringList TerrainMenu::recentLabels(const QStringList& paths)
{
    // The last `depth` folders above the file, the nearest last.
    const auto folders = [](const QString& path, int depth) {
        const QStringList parts = QFileInfo(path).absolutePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
        return parts.mid(std::max<qsizetype>(0, parts.size() - depth)).join(QLatin1Char('/'));
    };
    QStringList labels;
    for (const QString& path : paths) {
        const QString name = QFileInfo(path).fileName();
        QStringList namesakes;
        for (const QString& other : paths)
            if (other != path && QFileInfo(other).fileName() == name)
                namesakes << other;
        if (namesakes.isEmpty()) {
            labels << FilePath::forDisplay(name);
            continue;
        }
        const qsizetype most = QFileInfo(path).absolutePath().count(QLatin1Char('/'));
        int depth = 1;
        while (depth < most && std::any_of(namesakes.cbegin(), namesakes.cend(), [&](const QString& other) {
                   return folders(other, depth) == folders(path, depth);
               }))
            ++depth;
        labels << FilePath::forDisplay(QStringLiteral("%1 — %2").arg(name, folders(path, depth)));
    }
    return labels;
}
