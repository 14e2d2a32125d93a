#pragma once

#include <QString>
#include <cstdint>
#include <memory>

// A video file made of frames drawn one by one, through FFmpeg's libraries:
// by the name's extension H.264 in MP4 (".mp4") or VP9 in WebM (".webm"),
// pixel format yuv420p, a keyframe first, every frame lasting exactly 1/fps.
//
// Nothing appears under the file's name before finish() succeeds: the video
// is written to a temporary file beside it and renamed at the end, so that
// an encoder dropped unfinished (cancelled, or after an error) leaves no
// file behind, and a file that was there stays as it was.
//
// Not thread-safe: one thread at a time, not necessarily the one that
// opened it.
class VideoEncoder {
public:
    // The most frames a second a video may have.
    static constexpr int kMaxFps = 240;

    struct Format {
        int width = 0;  // even
        int height = 0; // even
        int fps = 0;
    };

    // Why a video cannot be written under this name, in words for the user
    // ("Ferlow writes videos as .mp4 or .webm"); empty when its extension
    // names a format Ferlow writes.
    static QString unsupportedFormat(const QString& path);

    // Opens the video for writing; nothing, with *error saying why in words
    // for the user (naming the file), when it cannot be.
    static std::unique_ptr<VideoEncoder> open(const QString& path, const Format& format, QString* error);
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    // Adds the next frame: width x height RGBA pixels, 4 bytes each, rows
    // packed, the bottom row first (as glReadPixels gives them). False on a
    // failure (a full disk), which error() then describes; the video cannot
    // be finished then.
    bool encode(const std::uint8_t* rgbaBottomRowFirst);
    // Writes what the encoder still holds and the container's index, and
    // gives the file its name. False on a failure, which error() describes;
    // no file is left then.
    bool finish();
    QString error() const;

private:
    struct Private;
    explicit VideoEncoder(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};
