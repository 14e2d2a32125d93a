#pragma once

#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>

// What may be asked of a picture or a video of the flight, from the menu or
// the command line, and the words that say what is wrong with a request.
// Each check answers with an empty string where all is well.
namespace Recording {

// 8K UHD: a software renderer still draws it in seconds.
inline constexpr QSize kLargestSize{7680, 4320};
inline constexpr QSize kDefaultSize{1920, 1080};
inline constexpr int kDefaultFps = 30;
// A day of video: a length beyond it is a typing mistake.
inline constexpr double kLongestSeconds = 24.0 * 60.0 * 60.0;

// "1920x1080" (or with "X" or "×"); nothing for anything else.
std::optional<QSize> parseSize(const QString& text);
QString sizeProblem(QSize size);
QString fpsProblem(int fps);
QString secondsProblem(double seconds);
// By the name's extension: .png, .jpg or .jpeg.
QString pictureFormatProblem(const QString& path);
// The folder the file goes into is there and takes new files; the words
// are those of a failure to write the file there.
QString folderProblem(const QString& path);

// Video frames are even in both directions (4:2:0 sampling halves them):
// the size rounded up to that.
QSize evenSize(QSize size);
// The frames of `seconds` at `fps`, at least one.
std::int64_t frameCount(double seconds, int fps);
// The time the rest of the frames will take at the pace of those done.
double secondsLeft(double elapsed, std::int64_t done, std::int64_t frames);
// "1:05:30", "4:07", "0:09" for a time left or a length.
QString clockText(double seconds);

} // namespace Recording
