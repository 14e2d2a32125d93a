#include "record/Recording.h"

#include "platform/system/FilePath.h"
#include "platform/system/NewFile.h"
#include "platform/video/VideoEncoder.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace Recording {

std::optional<QSize> parseSize(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,6})\\s*[xX\u00d7]\\s*(\\d{1,6})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return QSize(match.captured(1).toInt(), match.captured(2).toInt());
}

QString sizeProblem(QSize size)
{
    if (size.width() < 1 || size.height() < 1)
        return QStringLiteral("A size of %1 x %2 pixels has nothing to show.").arg(size.width()).arg(size.height());
    if (size.width() > kLargestSize.width() || size.height() > kLargestSize.height())
        return QStringLiteral("%1 x %2 pixels is larger than Ferlow draws: at most %3 x %4.")
            .arg(size.width())
            .arg(size.height())
            .arg(kLargestSize.width())
            .arg(kLargestSize.height());
    return {};
}

QString fpsProblem(int fps)
{
    if (fps < 1 || fps > VideoEncoder::kMaxFps)
        return QStringLiteral("%1 frames a second is not a frame rate Ferlow writes: 1 to %2.").arg(fps).arg(VideoEncoder::kMaxFps);
    return {};
}

QString secondsProblem(double seconds)
{
    if (!(seconds > 0.0))
        return QStringLiteral("A video needs a length of more than 0 seconds.");
    if (seconds > kLongestSeconds)
        return QStringLiteral("A video of %1 seconds is longer than Ferlow makes: at most a day (%2 seconds).")
            .arg(seconds)
            .arg(kLongestSeconds);
    return {};
}

QString pictureFormatProblem(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png") || suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return {};
    return QStringLiteral("Ferlow saves pictures as .png or .jpg, not as \u201c%1\u201d.")
        .arg(FilePath::forDisplay(QFileInfo(path).fileName()));
}

// Worded as a failure to write the file there would be.
QString folderProblem(const QString& path)
{
    const QByteArray folder = FilePath::toNative(QFileInfo(path).absolutePath());
    struct stat info {};
    if (::stat(folder.constData(), &info) != 0)
        return NewFile::failure(errno, path);
    if (!S_ISDIR(info.st_mode))
        return NewFile::failure(ENOTDIR, path);
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return NewFile::failure(errno, path);
    return {};
}

QSize evenSize(QSize size)
{
    return {size.width() + size.width() % 2, size.height() + size.height() % 2};
}

std::int64_t frameCount(double seconds, int fps)
{
    return std::max<std::int64_t>(1, std::llround(seconds * fps));
}

double secondsLeft(double elapsed, std::int64_t done, std::int64_t frames)
{
    return done > 0 ? elapsed / double(done) * double(frames - done) : 0.0;
}

QString clockText(double seconds)
{
    const auto whole = static_cast<std::int64_t>(std::ceil(std::max(seconds, 0.0)));
    const std::int64_t hours = whole / 3600;
    const QString minutesSeconds =
        QStringLiteral("%1:%2").arg((whole / 60) % 60, hours ? 2 : 1, 10, QLatin1Char('0')).arg(whole % 60, 2, 10, QLatin1Char('0'));
    return hours ? QStringLiteral("%1:%2").arg(hours).arg(minutesSeconds) : minutesSeconds;
}

} // namespace Recording
