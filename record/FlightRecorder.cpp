#include "record/FlightRecorder.h"

#include "platform/system/FilePath.h"
#include "platform/system/NewFile.h"
#include "platform/video/VideoEncoder.h"
#include "record/FrameQueue.h"
#include "record/Recording.h"
#include "scene/Scene.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <chrono>

namespace {

using Seconds = std::chrono::duration<double>;

// Samples in the whole multisampled picture beyond which fewer are taken:
// the largest picture with 2.
constexpr double kMostPictureSamples = double(Recording::kLargestSize.width()) * Recording::kLargestSize.height() * 2.0;
constexpr int kPictureSamples = 4;
constexpr int kJpegQuality = 92;
// Frames on their way to the encoder: one drawn, one encoded, one spare.
constexpr int kFramesInFlight = 3;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int FlightRecorder::pictureSamples(QSize size)
{
    int samples = kPictureSamples;
    while (samples > 1 && double(size.width()) * size.height() * samples > kMostPictureSamples)
        samples /= 2;
    return samples > 1 ? samples : 0;
}

FlightRecorder::FlightRecorder(std::unique_ptr<Scene> scene)
    : mScene(std::move(scene))
{
    mScene->setClock(Clock([this] { return mFlightSeconds; }));
}

FlightRecorder::~FlightRecorder() = default;

bool FlightRecorder::begin(QSize size, int samples, Outcome& outcome)
{
    if (!mCanvas.begin(size, samples, &outcome.error))
        return false;
    mScene->setViewportRect(QRectF(QPointF(), size));
    return true;
}

void FlightRecorder::end()
{
    mScene.reset();
    mCanvas.end();
}

FlightRecorder::Outcome FlightRecorder::savePicture(const QString& path, QSize size, int samples,
                                                    const std::atomic<bool>& cancel)
{
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    if (!begin(size, samples, outcome)) {
        end();
        return outcome;
    }
    mScene->setAnimate(false);
    mScene->render();
    QImage picture(size, QImage::Format_RGBA8888);
    mCanvas.readPixels(picture.bits());
    end();
    outcome.cancelled = cancel.load(std::memory_order_relaxed);
    if (outcome.cancelled)
        return outcome;
    picture = picture.mirrored().convertToFormat(QImage::Format_RGB888);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QFileInfo(path).suffix().toLower().startsWith(QLatin1Char('j')) ? "jpeg" : "png");
    writer.setQuality(kJpegQuality);
    if (!writer.write(picture)) {
        outcome.error = QStringLiteral("Ferlow could not make the picture \u201c%1\u201d: %2.")
                            .arg(FilePath::forDisplay(QFileInfo(path).fileName()), writer.errorString());
    } else if (const std::unique_ptr<NewFile> file = NewFile::create(path, &outcome.error);
               file && file->write(bytes, &outcome.error) && file->commit(&outcome.error)) {
        outcome.framesDone = 1;
    }
    outcome.totalSeconds = secondsSince(start);
    return outcome;
}

FlightRecorder::Outcome FlightRecorder::exportVideo(const Video& video, const Progress& progress,
                                                    const std::atomic<bool>& cancel)
{
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    std::unique_ptr<VideoEncoder> encoder =
        VideoEncoder::open(video.path, {video.size.width(), video.size.height(), video.fps}, &outcome.error);
    if (!encoder || !begin(video.size, video.samples, outcome)) {
        end();
        return outcome;
    }
    // Frame i shows the flight i/fps after the first, which shows it where
    // it stands.
    mFlightSeconds = 0.0;
    mScene->setAnimate(true);
    {
        FrameQueue frames(std::size_t(video.size.width()) * video.size.height() * 4, kFramesInFlight,
                          [&encoder](const std::uint8_t* frame) { return encoder->encode(frame); });
        for (std::int64_t i = 0; i < video.frames && !cancel.load(std::memory_order_relaxed); ++i) {
            std::uint8_t* frame = frames.emptyFrame();
            if (!frame)
                break;
            mFlightSeconds = double(i) / video.fps;
            const auto drawing = std::chrono::steady_clock::now();
            mScene->render();
            const auto readingBack = std::chrono::steady_clock::now();
            mCanvas.readPixels(frame);
            outcome.drawingSeconds += Seconds(readingBack - drawing).count();
            outcome.readingBackSeconds += secondsSince(readingBack);
            frames.push(frame);
            outcome.framesDone = i + 1;
            if (progress)
                progress(outcome.framesDone);
        }
        end();
        outcome.cancelled = cancel.load(std::memory_order_relaxed);
        const bool encoded = frames.drain();
        outcome.encodingSeconds = frames.consumingSeconds();
        if (!encoded)
            outcome.error = encoder->error();
    }
    if (!outcome.cancelled && outcome.error.isEmpty() && !encoder->finish())
        outcome.error = encoder->error();
    outcome.totalSeconds = secondsSince(start);
    return outcome;
}
