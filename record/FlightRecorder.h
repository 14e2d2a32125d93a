#pragma once

#include "platform/gl/OffscreenCanvas.h"

#include <QSize>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class Scene;

// Draws the flight offscreen into a picture or a video file. The scene it
// is given shows what is to be drawn (Scene's copy of the window's, or one
// made for the command line) and is drawn from where it stands; it is
// drawn with a context of its own, so the window may fly on meanwhile.
//
// Made and destroyed on the GUI thread (Qt makes surfaces there); the one
// recording it makes runs on any thread, which the scene then belongs to.
// A file appears under its name only once it is whole.
class FlightRecorder {
public:
    struct Video {
        QString path;
        QSize size;          // even
        int fps = 0;
        std::int64_t frames = 0;
        int samples = 0;     // per pixel; 0 draws without antialiasing
    };
    struct Outcome {
        // Why there is no file, in words for the user; empty on success
        // and when cancelled.
        QString error;
        bool cancelled = false;
        std::int64_t framesDone = 0;
        // Where the time went, in seconds: drawing frames, reading their
        // pixels back, encoding (on a thread of its own, beside the other
        // two), and the whole.
        double drawingSeconds = 0.0;
        double readingBackSeconds = 0.0;
        double encodingSeconds = 0.0;
        double totalSeconds = 0.0;
    };
    // Told after each frame, on the thread that draws.
    using Progress = std::function<void(std::int64_t framesDone)>;

    // Antialiasing for pictures: 4 samples a pixel, fewer where a picture
    // so large would take more memory than makes sense (2 at 8K).
    static int pictureSamples(QSize size);

    explicit FlightRecorder(std::unique_ptr<Scene> scene);
    ~FlightRecorder();
    FlightRecorder(const FlightRecorder&) = delete;
    FlightRecorder& operator=(const FlightRecorder&) = delete;

    // The scene as it stands, at `size`, as PNG or JPEG by the name's
    // extension; nothing is written once `cancel` has turned true by the
    // time it is drawn. Once.
    Outcome savePicture(const QString& path, QSize size, int samples, const std::atomic<bool>& cancel);
    // video.frames frames, each 1/fps later on the flight's clock, from
    // where the scene stands; ends early, leaving no file, once `cancel`
    // turns true. Once.
    Outcome exportVideo(const Video& video, const Progress& progress, const std::atomic<bool>& cancel);

private:
    bool begin(QSize size, int samples, Outcome& outcome);
    // The scene's GL objects and the context go, on the thread that drew.
    void end();

    std::unique_ptr<Scene> mScene;
    double mFlightSeconds = 0.0; // the scene's clock
    OffscreenCanvas mCanvas;
};
