#include "platform/system/Image.h"

#include <QBuffer>
#include <QImage>
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

TEST(BitmapImageRep, GreyRowsArePackedAtExactlyTheWidth)
{
    QImage grey(13, 15, QImage::Format_Grayscale8); // rows padded to 16 bytes in QImage
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = std::uint8_t(y * 13 + x);
    const auto bitmap = BitmapImageRep::initWithData(encode(grey));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->pixelsWide(), 13);
    EXPECT_EQ(bitmap->pixelsHigh(), 15);
    for (int i = 0; i < 13 * 15; ++i)
        ASSERT_EQ(bitmap->bitmapData()[i], std::uint8_t(i)) << i;
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

    struct Case {
        const char* name;
        QImage image;
        std::uint8_t firstPixel;
    };
    for (const Case& c : {Case{"colour", colour, 255}, Case{"alpha", transparent, 180}, Case{"16-bit", deep, 128},
                          Case{"palette", palette, 77}}) {
        const auto bitmap = BitmapImageRep::initWithData(encode(c.image));
        ASSERT_TRUE(bitmap) << c.name;
        EXPECT_EQ(bitmap->pixelsWide(), 4) << c.name;
        EXPECT_NEAR(bitmap->bitmapData()[0], c.firstPixel, 1) << c.name;
    }
    const auto bitmap = BitmapImageRep::initWithData(encode(colour));
    EXPECT_EQ(bitmap->bitmapData()[1], 0);
    // A luminance: between the darkest and the brightest channel, green-weighted.
    EXPECT_GT(bitmap->bitmapData()[2], 100);
    EXPECT_LT(bitmap->bitmapData()[2], 160);
}

TEST(BitmapImageRep, RefusesWhatItCannotOrShouldNotDecode)
{
    EXPECT_FALSE(BitmapImageRep::initWithData({}));
    EXPECT_FALSE(BitmapImageRep::initWithData("this is not an image at all"));
    QByteArray truncated = encode(QImage(64, 64, QImage::Format_Grayscale8));
    truncated.truncate(40);
    EXPECT_FALSE(BitmapImageRep::initWithData(truncated));

    // A valid PNG whose header announces 60000 x 60000 pixels: refused from
    // the header, without allocating 3.6 GB.
    QByteArray huge = encode(QImage(8, 8, QImage::Format_Grayscale8));
    putBigEndian(huge, 16, 60000);
    putBigEndian(huge, 20, 60000);
    putBigEndian(huge, 29, crc32(huge.mid(12, 17)));
    EXPECT_FALSE(BitmapImageRep::initWithData(huge));
}

TEST(Image, LoadsByResourceNameOrPathAndDecodesOnce)
{
    const auto image = Image::imageNamed(QStringLiteral("heightmap.png"));
    ASSERT_TRUE(image);
    const auto bitmap = image->bitmap();
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->pixelsWide(), bitmap->pixelsHigh());
    EXPECT_EQ(image->bitmap().get(), bitmap.get());

    EXPECT_FALSE(Image::imageNamed(QStringLiteral("nothing.png")));
    EXPECT_FALSE(Image::initWithContentsOfFile(QStringLiteral("/nonexistent/heightmap.png")));
    EXPECT_TRUE(Image::initWithContentsOfFile(QStringLiteral(":/heightmap.png")));

    const Image garbage(QByteArray("garbage"));
    EXPECT_FALSE(garbage.bitmap());
}

} // namespace
