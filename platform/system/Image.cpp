#include "platform/system/Image.h"

#include "platform/system/ResourceBundle.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <cstring>

namespace {

bool fitsLimits(const QSize& size)
{
    return size.width() > 0 && size.height() > 0
        && size.width() <= BitmapImageRep::kMaxDimension && size.height() <= BitmapImageRep::kMaxDimension
        && std::int64_t(size.width()) * size.height() <= BitmapImageRep::kMaxPixels;
}

QImage toGrey8(const QImage& image)
{
    if (image.format() == QImage::Format_Grayscale8)
        return image;
    if (image.hasAlphaChannel()) {
        // Drop alpha first so that the colour alone gives the height.
        return image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_Grayscale8);
    }
    return image.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace

BitmapImageRep::BitmapImageRep(int width, int height, std::vector<std::uint8_t> samples)
    : mWidth(width)
    , mHeight(height)
    , mSamples(std::move(samples))
{
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::initWithData(const QByteArray& data)
{
    if (data.isEmpty())
        return nullptr;
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The header's size is known before decoding: refuse what we will not hold.
    const QSize announced = reader.size();
    if (announced.isValid() && !fitsLimits(announced))
        return nullptr;
    QImage decoded;
    if (!reader.read(&decoded) || !fitsLimits(decoded.size()))
        return nullptr;
    const QImage grey = toGrey8(decoded);
    if (grey.isNull())
        return nullptr;
    const int width = grey.width();
    const int height = grey.height();
    std::vector<std::uint8_t> samples(std::size_t(width) * std::size_t(height));
    for (int row = 0; row < height; ++row)
        std::memcpy(samples.data() + std::size_t(row) * width, grey.constScanLine(row), std::size_t(width));
    return std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(width, height, std::move(samples)));
}

std::shared_ptr<Image> Image::imageNamed(const QString& name)
{
    const auto path = ResourceBundle::mainBundle().pathForResource(
        ResourceBundle::stringByDeletingPathExtension(name), ResourceBundle::pathExtension(name));
    return path ? initWithContentsOfFile(*path) : nullptr;
}

std::shared_ptr<Image> Image::initWithContentsOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return nullptr;
    return std::make_shared<Image>(std::move(bytes));
}

Image::Image(QByteArray encoded)
    : mEncoded(std::move(encoded))
{
}

std::shared_ptr<const BitmapImageRep> Image::bitmap() const
{
    if (!mDecoded) {
        mBitmap = BitmapImageRep::initWithData(mEncoded);
        mDecoded = true;
    }
    return mBitmap;
}
