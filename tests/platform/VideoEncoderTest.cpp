#include "platform/video/VideoEncoder.h"

#include "platform/system/FilePath.h"
#include "tests/support/VideoProbe.h"

#include <QPainter>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/mount.h>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Two colours, one above the other, so that a picture upside down shows,
// and a bar that moves, so that every frame is another.
QImage picture(int frame)
{
    QImage image(64, 48, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, 64, 24, QColor(200, 60, 40));
    painter.fillRect(0, 24, 64, 24, QColor(40, 90, 200));
    painter.fillRect(frame * 4, 0, 8, 48, Qt::white);
    return image;
}

std::vector<std::uint8_t> bottomRowFirst(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888).mirrored();
    return {rgba.constBits(), rgba.constBits() + rgba.sizeInBytes()};
}

// Per colour channel, of two RGB32 pictures whose alpha is opaque.
double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (qsizetype i = 0; i < a.sizeInBytes(); ++i)
        sum += std::abs(a.constBits()[i] - b.constBits()[i]);
    return sum / (0.75 * a.sizeInBytes());
}

// As bytes, which QDir would lose where they are no UTF-8.
std::vector<std::string> filesIn(const QString& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(QFile::encodeName(folder).toStdString()))
        names.push_back(entry.path().filename().string());
    return names;
}

std::string contents(const QString& path)
{
    std::ifstream file(FilePath::toNative(path).constData(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

TEST(VideoEncoder, WritesEveryFrameOnceTheRightWayUp)
{
    const mode_t umask = ::umask(0);
    ::umask(umask);
    struct Row { QByteArray name; const char* codec; };
    for (const Row& row : {Row{"vol \xe9t\xe9.mp4", "h264"}, Row{"flight.WebM", "vp9"}}) {
        SCOPED_TRACE(row.name.constData());
        QTemporaryDir folder;
        const QString path = FilePath::fromNative(QFile::encodeName(folder.path()) + '/' + row.name);
        QString error;
        const auto encoder = VideoEncoder::open(path, {64, 48, 10}, &error);
        ASSERT_TRUE(encoder) << error.toStdString();
        for (int frame = 0; frame < 12; ++frame)
            ASSERT_TRUE(encoder->encode(bottomRowFirst(picture(frame)).data()));
        ASSERT_TRUE(encoder->finish()) << encoder->error().toStdString();

        const VideoFacts facts = probeVideo(path);
        EXPECT_EQ(facts.error, QString());
        EXPECT_EQ(facts.codec, QLatin1String(row.codec));
        EXPECT_EQ(QSize(facts.width, facts.height), QSize(64, 48));
        EXPECT_EQ(facts.pixelFormat, QLatin1String("yuv420p"));
        EXPECT_NEAR(facts.durationSeconds, 1.2, 0.05);
        EXPECT_TRUE(facts.firstFrameIsKeyframe);
        ASSERT_EQ(facts.frameCount, 12);
        for (int frame = 0; frame < 12; ++frame)
            EXPECT_LT(meanDifference(facts.frames[frame], picture(frame)), 6) << "frame " << frame;
        EXPECT_EQ(filesIn(folder.path()), std::vector{row.name.toStdString()});
        // An MP4 plays on the web as it downloads when its index comes first.
        if (const std::string bytes = contents(path); facts.codec == QLatin1String("h264")) {
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
        }
        struct stat status {};
        EXPECT_TRUE(::stat(FilePath::toNative(path).constData(), &status) == 0 && (status.st_mode & 0777) == (0666 & ~umask));
        ::unlink(FilePath::toNative(path).constData()); // which QTemporaryDir cannot name
    }
}

TEST(VideoEncoder, RefusesWhatItCannotWriteWithoutLeavingAFile)
{
    struct Row { const char* name; VideoEncoder::Format format; bool readOnly; const char* says; };
    for (const Row& row : {Row{"flight.avi", {64, 48, 10}, false, "not as .avi."},
                           Row{"missing/flight.mp4", {64, 48, 10}, false, "/missing” does not exist."},
                           Row{"flight.webm", {64, 48, 10}, true, "not allowed to write in the folder “/"},
                           Row{"flight.mp4", {63, 48, 10}, false, "not 63 × 48 at 10."},
                           Row{"flight.mp4", {64, 48, 241}, false, "at 241."}}) {
        // Root writes into a read-only folder all the same.
        if (row.readOnly && ::geteuid() == 0)
            continue;
        SCOPED_TRACE(row.name);
        QTemporaryDir folder;
        if (row.readOnly)
            QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner);
        QString error;
        EXPECT_FALSE(VideoEncoder::open(folder.filePath(row.name), row.format, &error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(row.says))) << error.toStdString();
        EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>());
    }
}

TEST(VideoEncoder, LeavesAFileThatWasThereAsItWasUntilFinished)
{
    QTemporaryDir folder;
    const QString path = folder.filePath("flight.mp4");
    std::ofstream(path.toStdString()) << "old";
    {
        const auto encoder = VideoEncoder::open(path, {64, 48, 10}, nullptr);
        ASSERT_TRUE(encoder && encoder->encode(bottomRowFirst(picture(0)).data()));
    }
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>{"flight.mp4"});
    EXPECT_EQ(contents(path), "old");
}

TEST(VideoEncoder, AFullDiskEndsTheVideoWithoutLeavingAFile)
{
    QTemporaryDir folder;
    const QByteArray native = QFile::encodeName(folder.path());
    if (::mount("tmpfs", native.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no small disk can be mounted here: " << std::strerror(errno);
    const auto unmount = qScopeGuard([&] { ::umount2(native.constData(), MNT_DETACH); });
    const auto encoder = VideoEncoder::open(folder.filePath("flight.mp4"), {256, 256, 30}, nullptr);
    ASSERT_TRUE(encoder);
    // Noise does not compress: a few frames fill the disk.
    std::vector<std::uint8_t> noise(256 * 256 * 4);
    std::independent_bits_engine<std::mt19937, 8, std::uint8_t> random(1);
    for (int frame = 0; frame < 300; ++frame) {
        std::generate(noise.begin(), noise.end(), std::ref(random));
        if (!encoder->encode(noise.data()))
            break;
    }
    EXPECT_FALSE(encoder->finish());
    EXPECT_TRUE(encoder->error().startsWith("There is no room left on the disk")) << encoder->error().toStdString();
    EXPECT_EQ(filesIn(folder.path()), std::vector<std::string>());
}

} // namespace
