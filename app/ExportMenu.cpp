#include "app/ExportMenu.h"

#include "app/ExportVideoDialog.h"
#include "app/SavePictureDialog.h"
#include "platform/system/BackgroundTask.h"
#include "platform/system/FilePath.h"
#include "platform/toolkit/ActionRegistry.h"
#include "record/Recording.h"
#include "scene/Scene.h"
#include "view/FerlowOpenGLView.h"

#include <QAction>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <chrono>

namespace {

// How often the progress dialog moves.
constexpr std::chrono::milliseconds kProgressInterval{100};
// A picture drawn sooner shows no progress: a dialog that flashes up and
// goes says nothing.
constexpr std::chrono::milliseconds kPictureProgressDelay{500};

} // namespace

ExportMenu::ExportMenu(QWidget& window, FerlowOpenGLView& view, ActionRegistry& commands)
    : mWindow(window)
    , mView(view)
    , mSavePicture(new QAction(QStringLiteral("&Save Picture…"), this))
    , mExportVideo(new QAction(QStringLiteral("&Export Flight Video…"), this))
{
    mSavePicture->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    connect(mSavePicture, &QAction::triggered, this, &ExportMenu::savePictureWithDialog);
    commands.add(kSavePictureItem, mSavePicture);
    mExportVideo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    connect(mExportVideo, &QAction::triggered, this, &ExportMenu::exportVideoWithDialog);
    commands.add(kExportVideoItem, mExportVideo);
}

ExportMenu::~ExportMenu()
{
    cancel();
    mTask.reset();
}

void ExportMenu::savePictureWithDialog()
{
    SavePictureDialog dialog(&mWindow, mView.convertRectToBacking(mView.bounds()).size().toSize());
    if (dialog.exec() == QDialog::Accepted)
        savePicture(dialog.path(), dialog.size());
}

void ExportMenu::exportVideoWithDialog()
{
    ExportVideoDialog dialog(&mWindow, mView.getScene()->loopSeconds());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool antialiased = mView.fullSceneAntialiasing();
    exportVideo({dialog.path(), Recording::evenSize(dialog.size()), dialog.fps(),
                 Recording::frameCount(dialog.seconds(), dialog.fps()), antialiased ? int(FerlowOpenGLView::kSamples) : 0});
}

void ExportMenu::savePicture(const QString& path, QSize size)
{
    showProgress(path, 0);
    start([this, path, size](FlightRecorder& recorder, BackgroundTask&) {
        return recorder.savePicture(path, size, FlightRecorder::pictureSamples(size), mCancel);
    });
}

void ExportMenu::exportVideo(const FlightRecorder::Video& video)
{
    showProgress(video.path, video.frames);
    start([this, video](FlightRecorder& recorder, BackgroundTask& task) {
        auto shown = std::chrono::steady_clock::time_point{};
        const auto begun = std::chrono::steady_clock::now();
        return recorder.exportVideo(
            video,
            [this, &task, &shown, begun, video](std::int64_t done) {
                const auto now = std::chrono::steady_clock::now();
                if (now - shown < kProgressInterval && done < video.frames)
                    return;
                shown = now;
                const double left =
                    Recording::secondsLeft(std::chrono::duration<double>(now - begun).count(), done, video.frames);
                task.post([this, done, left, video] {
                    if (!mProgress)
                        return;
                    mProgress->setValue(int(done * 1000 / video.frames));
                    mProgress->setLabelText(QStringLiteral("Frame %1 of %2, %3 left")
                                                .arg(done)
                                                .arg(video.frames)
                                                .arg(Recording::clockText(left)));
                });
            },
            mCancel);
    });
}

void ExportMenu::showProgress(const QString& path, std::int64_t frames)
{
    const QString name = FilePath::forDisplay(QFileInfo(path).fileName());
    mProgress = new QProgressDialog(&mWindow);
    mProgress->setAttribute(Qt::WA_DeleteOnClose);
    mProgress->setAutoClose(false);
    mProgress->setAutoReset(false);
    if (frames == 0) {
        mProgress->setWindowTitle(QStringLiteral("Saving %1").arg(name));
        mProgress->setLabelText(QStringLiteral("Drawing the picture…"));
        mProgress->setCancelButton(nullptr);
        mProgress->setRange(0, 0);
        QTimer::singleShot(kPictureProgressDelay, mProgress.data(), &QWidget::show);
        return;
    }
    mProgress->setWindowTitle(QStringLiteral("Exporting %1").arg(name));
    mProgress->setLabelText(QStringLiteral("Frame 0 of %1").arg(frames));
    mProgress->setRange(0, 1000);
    connect(mProgress, &QProgressDialog::canceled, this, &ExportMenu::cancel);
    mProgress->show();
    // Escape cancels at once, wherever the window manager (if any) would
    // have put the keyboard.
    mProgress->activateWindow();
}

// The scene is the view's as it stands now; the window's goes on flying.
void ExportMenu::start(const Job& job)
{
    mCancel.store(false);
    mSavePicture->setEnabled(false);
    mExportVideo->setEnabled(false);
    mRecorder = std::make_unique<FlightRecorder>(std::make_unique<Scene>(*mView.getScene(), Clock()));
    mTask = std::make_unique<BackgroundTask>([this, job](BackgroundTask& task) -> BackgroundTask::Continuation {
        const FlightRecorder::Outcome outcome = job(*mRecorder, task);
        return [this, outcome] { finished(outcome); };
    });
}

void ExportMenu::finished(const FlightRecorder::Outcome& outcome)
{
    BackgroundTask::discard(std::move(mTask));
    mRecorder.reset();
    if (mProgress)
        mProgress->close();
    mSavePicture->setEnabled(true);
    mExportVideo->setEnabled(true);
    if (!outcome.error.isEmpty())
        QMessageBox::warning(&mWindow, QStringLiteral("Ferlow"), outcome.error);
}
