#include "platform/system/Image.h"

#include "platform/system/ResourceBundle.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fitsLimits(const QSize& size)
{
    return size.width() > 0 && size.height() > 0
        && size.width() <= BitmapImageRep::kMaxDimension && size.height() <= BitmapImageRep::kMaxDimension
        && std::int64_t(size.width()) * size.height() <= BitmapImageRep::kMaxPixels;
}

// The widest pixel Qt decodes to: four 32-bit floats (from TIFF).
constexpr std::int64_t kWidestPixelBytes = 16;

// Qt refuses by default to allocate more than 128 MB for a decoded image,
// which a 16-bit colour image well within the limits above exceeds; the
// refusal would reach the user as a damaged file.
constexpr int kDecodeAllocationMegabytes = int((BitmapImageRep::kMaxPixels * kWidestPixelBytes) >> 20);

// More than 8 bits a channel: such images keep 16 bits of height.
bool hasSixteenBitChannels(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale16:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Alpha is dropped first so that the colour alone gives the height.
QImage withoutAlpha(const QImage& image)
{
    if (!image.hasAlphaChannel())
        return image;
    return image.convertToFormat(hasSixteenBitChannels(image.format()) ? QImage::Format_RGBX64 : QImage::Format_RGB32);
}

std::vector<std::uint16_t> sixteenBitSamples(const QImage& decoded)
{
    const int width = decoded.width();
    const int height = decoded.height();
    std::vector<std::uint16_t> samples(std::size_t(width) * std::size_t(height));
    std::uint16_t* out = samples.data();
    if (hasSixteenBitChannels(decoded.format())) {
        const QImage grey = withoutAlpha(decoded).convertToFormat(QImage::Format_Grayscale16);
        for (int row = 0; row < height; ++row, out += width)
            std::memcpy(out, grey.constScanLine(row), std::size_t(width) * sizeof(std::uint16_t));
        return samples;
    }
    const QImage grey = decoded.format() == QImage::Format_Grayscale8
        ? decoded
        : withoutAlpha(decoded).convertToFormat(QImage::Format_Grayscale8);
    for (int row = 0; row < height; ++row) {
        const uchar* bytes = grey.constScanLine(row);
        for (int column = 0; column < width; ++column)
            *out++ = std::uint16_t(bytes[column] << 8);
    }
    return samples;
}

QString tooLarge(const QSize& size)
{
    return QStringLiteral("the image is %1 × %2 pixels; Ferlow reads images of up to %3 pixels, %4 on a side")
        .arg(size.width())
        .arg(size.height())
        .arg(BitmapImageRep::kMaxPixels)
        .arg(BitmapImageRep::kMaxDimension);
}

QString readFailure(const QImageReader& reader)
{
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return BitmapImageRep::kNotAnImage;
    case QImageReader::InvalidDataError:
        return QStringLiteral("the image is damaged or incomplete");
    default:
        return reader.errorString();
    }
}

} // namespace

BitmapImageRep::BitmapImageRep(int width, int height, std::vector<std::uint16_t> samples)
    : mWidth(width)
    , mHeight(height)
    , mSamples(std::move(samples))
{
}

BitmapImageRep::Decoded BitmapImageRep::decode(const QByteArray& data)
{
    if (data.isEmpty())
        return {nullptr, QStringLiteral("the file is empty")};
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImageReader::setAllocationLimit(kDecodeAllocationMegabytes);
    // The header's size is known before decoding: refuse what we will not hold.
    const QSize announced = reader.size();
    if (announced.isValid() && !fitsLimits(announced))
        return {nullptr, tooLarge(announced)};
    QImage decoded;
    if (!reader.read(&decoded))
        return {nullptr, readFailure(reader)};
    if (!fitsLimits(decoded.size()))
        return {nullptr, tooLarge(decoded.size())};
    std::vector<std::uint16_t> samples = sixteenBitSamples(decoded);
    return {std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(decoded.width(), decoded.height(), std::move(samples))),
            {}};
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::initWithData(const QByteArray& data)
{
    return decode(data).bitmap;
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::initWithSamples(int width, int height,
                                                                      std::vector<std::uint16_t> samples)
{
    return std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(width, height, std::move(samples)));
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::centredSquare() const
{
    const int side = std::min(mWidth, mHeight);
    const int left = (mWidth - side) / 2;
    const int top = (mHeight - side) / 2;
    std::vector<std::uint16_t> samples(std::size_t(side) * std::size_t(side));
    for (int row = 0; row < side; ++row) {
        const std::uint16_t* from = mSamples.data() + std::size_t(top + row) * std::size_t(mWidth) + std::size_t(left);
        std::copy_n(from, side, samples.data() + std::size_t(row) * std::size_t(side));
    }
    return std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(side, side, std::move(samples)));
}

RegularFile openRegularFile(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    // Opened without blocking and checked on the descriptor, so that a FIFO
    // put in the file's place after a check by name cannot hang the reader.
    const int descriptor = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return {{}, 0, errno == EISDIR ? QStringLiteral("it is a folder") : QString::fromLocal8Bit(std::strerror(errno))};
    auto file = std::make_unique<QFile>();
    if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return {{}, 0, file->errorString()};
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0)
        return {{}, 0, QString::fromLocal8Bit(std::strerror(errno))};
    if (S_ISDIR(status.st_mode))
        return {{}, 0, QStringLiteral("it is a folder")};
    if (!S_ISREG(status.st_mode))
        return {{}, 0, QStringLiteral("it is not a regular file")};
    if (status.st_size == 0)
        return {{}, 0, QStringLiteral("the file is empty")};
    return {std::move(file), qint64(status.st_size), {}};
}

ImageFile readImageFile(const QString& path)
{
    const RegularFile opened = openRegularFile(path);
    if (!opened.failure.isEmpty())
        return {{}, opened.failure};
    if (opened.size > kMaxImageFileBytes)
        return {{}, QStringLiteral("the file is larger than %1 MB").arg(kMaxImageFileBytes >> 20)};
    QByteArray bytes = opened.file->readAll();
    if (opened.file->error() != QFileDevice::NoError)
        return {{}, opened.file->errorString()};
    return {std::move(bytes), {}};
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

Image::Image(std::shared_ptr<const BitmapImageRep> decoded)
    : mDecoded(true)
    , mBitmap(std::move(decoded))
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
