#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <limits>

// What a video file holds, as FFmpeg's libraries read it back: for tests
// that check the videos Ferlow writes without trusting its own encoder.
struct VideoFacts {
    QString error;       // why the file could not be read; empty when it was
    QString codec;       // FFmpeg's name of the first video stream's codec: "h264", "vp9"
    int width = 0;
    int height = 0;
    QString pixelFormat; // "yuv420p"
    int frameCount = 0;  // counted by decoding them all
    double durationSeconds = 0; // as the stream, or else the container, states it
    bool firstFrameIsKeyframe = false;
    // The kept frames, decoded into QImage::Format_RGB32 as the stream's
    // colour tags say: frames 0, keepEvery, 2 * keepEvery, ...
    QList<QImage> frames;
};

// Reads the video at path (a FilePath name). Frames are kept as images
// every keepEvery frames, at most keepAtMost of them; keepEvery 0 keeps
// none, so that a long video costs no memory.
VideoFacts probeVideo(const QString& path, int keepEvery = 1, int keepAtMost = std::numeric_limits<int>::max());
