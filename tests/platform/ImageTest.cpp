#include "platform/system/BitmapImageRep.h"
#include "platform/system/Image.h"
#include "platform/system/RegularFile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <gtest/gtest.h>

namespace {

QByteArray encode(const QImage& image, const char* format = "PNG")
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

std::uint32_t crc32(const QByteArray& data)
{
    std::uint32_t crc = 0xffffffffu;
    for (const char byte : data) {
        crc ^= std::uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(QByteArray& bytes, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xff);
}

// 8-bit samples h come out as 256 h, so that the mesh's s / 65536 is
// exactly h / 256; 16-bit ones as they are, all 65536 values apart.
TEST(BitmapImageRep, GreyRowsArePackedAtExactlyTheWidthWithSixteenBitSamples)
{
    QImage grey(13, 15, QImage::Format_Grayscale8); // rows padded to 16 bytes in QImage
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = std::uint8_t(y * 13 + x);
    const auto bitmap = BitmapImageRep::fromData(encode(grey));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->pixelsWide(), 13);
    EXPECT_EQ(bitmap->pixelsHigh(), 15);
    for (int i = 0; i < 13 * 15; ++i)
        ASSERT_EQ(bitmap->bitmapData()[i], std::uint16_t(256 * i)) << i;

    // Odd and taller than a band of rows, so that rows pack across bands.
    QImage deep(257, 601, QImage::Format_Grayscale16);
    const auto deepSample = [](int x, int y) { return std::uint16_t(y * 109 + x * 3 + 1); };
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            reinterpret_cast<std::uint16_t*>(deep.scanLine(y))[x] = deepSample(x, y);
    const auto deepBitmap = BitmapImageRep::fromData(encode(deep));
    ASSERT_TRUE(deepBitmap);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            ASSERT_EQ(deepBitmap->bitmapData()[y * 257 + x], deepSample(x, y)) << x << ", " << y;
}

TEST(BitmapImageRep, OtherLayoutsBecomeGrey)
{
    QImage colour(4, 4, QImage::Format_RGB32);
    colour.fill(qRgb(255, 255, 255));
    colour.setPixel(1, 0, qRgb(0, 0, 0));
    colour.setPixel(2, 0, qRgb(200, 100, 50));

    QImage transparent(4, 4, QImage::Format_ARGB32);
    transparent.fill(qRgba(180, 180, 180, 0)); // alpha says nothing about height

    QImage deep(4, 4, QImage::Format_Grayscale16);
    deep.fill(QColor::fromRgba64(qRgba64(0x8080, 0x8080, 0x8080, 0xffff)));

    QImage palette(4, 4, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(0, 0, 0), qRgb(77, 77, 77)});
    palette.fill(1);

    QImage deepColour(4, 4, QImage::Format_RGBA64);
    deepColour.fill(QColor::fromRgba64(qRgba64(0x4321, 0x4321, 0x4321, 0)));

    struct Case {
        const char* name;
        QImage image;
        std::uint16_t firstPixel;
    };
    for (const Case& c : {Case{"colour", colour, 0xff00}, Case{"alpha", transparent, 180 << 8},
                          Case{"16-bit", deep, 0x8080}, Case{"16-bit colour, transparent", deepColour, 0x4321},
                          Case{"palette", palette, 77 << 8}}) {
        const auto bitmap = BitmapImageRep::fromData(encode(c.image));
        ASSERT_TRUE(bitmap) << c.name;
        EXPECT_EQ(bitmap->pixelsWide(), 4) << c.name;
        EXPECT_NEAR(bitmap->bitmapData()[0], c.firstPixel, 256) << c.name;
    }
    const auto bitmap = BitmapImageRep::fromData(encode(colour));
    EXPECT_EQ(bitmap->bitmapData()[1], 0);
    // A luminance: between the darkest and the brightest channel, green-weighted.
    EXPECT_GT(bitmap->bitmapData()[2], 100 << 8);
    EXPECT_LT(bitmap->bitmapData()[2], 160 << 8);

    // Colour with alpha comes out exactly as Qt's own conversion of the
    // opaque colour would give it.
    for (QImage image : {transparent, deepColour}) {
        for (int i = 0; i < 16; ++i)
            image.setPixelColor(i % 4, i / 4, QColor::fromRgba64(qRgba64(i * 4000, 65535 - i * 3000, i * i * 200, i * 4096)));
        const QImage decoded = QImage::fromData(encode(image));
        const bool deep = decoded.depth() == 64;
        const QImage expected = decoded.convertToFormat(deep ? QImage::Format_RGBX64 : QImage::Format_RGB32)
                                    .convertToFormat(deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8);
        const auto opaque = BitmapImageRep::fromData(encode(image));
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(opaque->bitmapData()[i], deep ? expected.pixelColor(i % 4, i / 4).rgba64().red()
                                                    : std::uint16_t(qGray(expected.pixel(i % 4, i / 4)) << 8))
                << i;
    }

    // A JPEG stored sideways with its EXIF orientation comes as a viewer
    // shows it: its left half, bright, turned to the top.
    QImage sideways(16, 8, QImage::Format_Grayscale8);
    sideways.fill(0);
    for (int y = 0; y < 8; ++y)
        std::fill_n(sideways.scanLine(y), 8, 255);
    QByteArray rotated;
    QBuffer rotatedBuffer(&rotated);
    rotatedBuffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&rotatedBuffer, "JPEG");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(sideways));
    const auto upright = BitmapImageRep::fromData(rotated);
    ASSERT_TRUE(upright);
    ASSERT_EQ(upright->pixelsWide(), 8);
    EXPECT_GT(upright->bitmapData()[8 * 2 + 4], 200 << 8);
    EXPECT_LT(upright->bitmapData()[8 * 13 + 4], 50 << 8);

    // Floating-point samples (TIFF) keep 16 bits of height.
    QImage floating(4, 4, QImage::Format_RGBX32FPx4);
    floating.fill(QColor::fromRgba64(qRgba64(0x4321, 0x4321, 0x4321, 0xffff)));
    const auto floatingBitmap = BitmapImageRep::fromData(encode(floating, "TIFF"));
    ASSERT_TRUE(floatingBitmap);
    EXPECT_NEAR(floatingBitmap->bitmapData()[0], 0x4321, 1);
}

// A wide and a tall image each give their middle square: a pixel marked at
// the square's top-left corner lands at (0, 0), the pixels outside are gone.
TEST(BitmapImageRep, CentredSquareOfWideAndTallImages)
{
    struct Case {
        const char* name;
        QSize size;
        QPoint corner;
    };
    for (const Case& c : {Case{"wide", {11, 4}, {3, 0}}, Case{"tall", {4, 9}, {0, 2}}, Case{"square", {5, 5}, {0, 0}}}) {
        QImage image(c.size, QImage::Format_Grayscale8);
        image.fill(10);
        image.setPixel(c.corner, qRgb(200, 200, 200));
        image.setPixel(c.corner + QPoint(3, 3), qRgb(90, 90, 90));
        const auto square = BitmapImageRep::fromData(encode(image))->centredSquare();
        EXPECT_EQ(square->pixelsWide(), 4 + (c.size == QSize(5, 5))) << c.name;
        EXPECT_EQ(square->pixelsHigh(), square->pixelsWide()) << c.name;
        const int side = square->pixelsWide();
        EXPECT_EQ(square->bitmapData()[0], 200 << 8) << c.name;
        EXPECT_EQ(square->bitmapData()[3 * side + 3], 90 << 8) << c.name;
        int marked = 0;
        for (int i = 0; i < side * side; ++i)
            marked += square->bitmapData()[i] != 10 << 8;
        EXPECT_EQ(marked, 2) << c.name;
    }
}

// Decoded, a 16-bit colour image takes 8 bytes a pixel: at 4100 x 4100 more
// than the 128 MB Qt allows an image by default, and well within the
// limits Ferlow states.
TEST(BitmapImageRep, ReadsSixteenBitColourBeyondQtsDefaultAllocationLimit)
{
    constexpr int kSide = 4100;
    const QColor colour(30, 120, 200);
    QImage image(kSide, kSide, QImage::Format_RGBX64);
    image.fill(colour);
    QImage pixel(1, 1, QImage::Format_RGBX64);
    pixel.fill(colour);
    const auto grey = *reinterpret_cast<const std::uint16_t*>(
        pixel.convertToFormat(QImage::Format_Grayscale16).constScanLine(0));

    const BitmapImageRep::Decoded decoded = BitmapImageRep::decode(encode(image));
    ASSERT_TRUE(decoded.bitmap) << decoded.failure.toStdString();
    EXPECT_EQ(decoded.bitmap->pixelsWide(), kSide);
    EXPECT_EQ(decoded.bitmap->bitmapData()[std::size_t(kSide) * kSide - 1], grey);
}

// Each refusal says why, in words a user can act on.
TEST(BitmapImageRep, RefusesWhatItCannotOrShouldNotDecodeAndSaysWhy)
{
    QByteArray truncated = encode(QImage(64, 64, QImage::Format_Grayscale8));
    truncated.truncate(40);
    QByteArray changed = encode(QImage(64, 64, QImage::Format_Grayscale8));
    changed[changed.size() - 20] = char(changed[changed.size() - 20] ^ 0x55); // in the pixel data
    // A valid PNG whose header announces 60000 x 60000 pixels: refused from
    // the header, without allocating 3.6 GB.
    QByteArray huge = encode(QImage(8, 8, QImage::Format_Grayscale8));
    putBigEndian(huge, 16, 60000);
    putBigEndian(huge, 20, 60000);
    putBigEndian(huge, 29, crc32(huge.mid(12, 17)));
    struct Case {
        const char* name;
        QByteArray data;
        const char* reason;
    };
    for (const Case& c : {Case{"empty", {}, "the file is empty"},
                          Case{"no image", "this is not an image at all", "it is not an image Ferlow can read"},
                          Case{"truncated", truncated, "the image is damaged or incomplete"},
                          Case{"a byte changed", changed, "the image is damaged or incomplete"},
                          Case{"huge", huge, "the image is 60000 × 60000 pixels; Ferlow reads images of up to 67108864 "
                                             "pixels, 16384 on a side"}}) {
        const BitmapImageRep::Decoded decoded = BitmapImageRep::decode(c.data);
        EXPECT_FALSE(decoded.bitmap) << c.name;
        EXPECT_EQ(decoded.failure.toStdString(), c.reason) << c.name;
        EXPECT_FALSE(BitmapImageRep::fromData(c.data)) << c.name;
    }
}

// A FIFO would block a plain read for ever and a device never end; neither
// is read, and nothing waits.
TEST(ImageFile, ReadsRegularFilesOnlyAndSaysWhyNot)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString fifo = folder.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QFile empty(folder.filePath(QStringLiteral("empty.png")));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile image(folder.filePath(QStringLiteral("image.png")));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    const QByteArray bytes = encode(QImage(4, 4, QImage::Format_Grayscale8));
    image.write(bytes);
    image.close();
    struct Case {
        QString path;
        const char* reason;
    };
    for (const Case& c : {Case{folder.path(), "it is a folder"}, Case{fifo, "it is not a regular file"},
                          Case{QStringLiteral("/dev/zero"), "it is not a regular file"},
                          Case{empty.fileName(), "the file is empty"},
                          Case{folder.filePath(QStringLiteral("missing.png")), "No such file or directory"}}) {
        const RegularFile file = openImageFile(c.path);
        EXPECT_FALSE(file.file) << c.path.toStdString();
        EXPECT_EQ(file.failure.toStdString(), c.reason) << c.path.toStdString();
    }
    const RegularFile file = openImageFile(image.fileName());
    ASSERT_TRUE(file.file);
    EXPECT_EQ(file.file->readAll(), bytes);
    EXPECT_TRUE(file.failure.isEmpty());
}

TEST(Image, LoadsByResourceNameOrPathAndDecodesOnce)
{
    const auto image = Image::fromResource(QStringLiteral("heightmap.png"));
    ASSERT_TRUE(image);
    const auto bitmap = image->bitmap();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->pixelsWide(), bitmap->pixelsHigh());
    EXPECT_EQ(image->bitmap().get(), bitmap.get());

    EXPECT_FALSE(Image::fromResource(QStringLiteral("nothing.png")));
    EXPECT_FALSE(Image::fromFile(QStringLiteral("/nonexistent/heightmap.png")));
    EXPECT_TRUE(Image::fromFile(QStringLiteral(":/heightmap.png")));

    const Image garbage(QByteArray("garbage"));
    EXPECT_FALSE(garbage.bitmap());
}

} // namespace
