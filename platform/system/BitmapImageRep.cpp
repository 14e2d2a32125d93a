#include "platform/system/BitmapImageRep.h"

#include "platform/system/SystemLog.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

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

// The grey samples of a band of rows, widened to 16 bits.
void copyGreyRows(const QImage& band, std::uint16_t* out)
{
    const int width = band.width();
    if (hasSixteenBitChannels(band.format())) {
        const QImage grey = withoutAlpha(band).convertToFormat(QImage::Format_Grayscale16);
        for (int row = 0; row < grey.height(); ++row, out += width)
            std::memcpy(out, grey.constScanLine(row), std::size_t(width) * sizeof(std::uint16_t));
        return;
    }
    const QImage grey =
        band.format() == QImage::Format_Grayscale8 ? band : withoutAlpha(band).convertToFormat(QImage::Format_Grayscale8);
    for (int row = 0; row < grey.height(); ++row) {
        const uchar* bytes = grey.constScanLine(row);
        for (int column = 0; column < width; ++column)
            *out++ = std::uint16_t(bytes[column] << 8);
    }
}

// The alpha of the two formats that Qt's readers give for colour with
// alpha (PNG, 8 and 16 bits a channel) set opaque in place: the colour is
// stored apart from it, so this is what Qt's conversion to the opaque format
// does, bit for bit, at a fraction of its time.
void makeOpaqueInPlace(QImage& image)
{
    const int width = image.width();
    if (image.format() == QImage::Format_RGBA64) {
        for (int row = 0; row < image.height(); ++row) {
            auto* channels = reinterpret_cast<std::uint16_t*>(image.scanLine(row));
            for (int column = 0; column < width; ++column)
                channels[4 * column + 3] = 0xFFFF;
        }
        image.reinterpretAsFormat(QImage::Format_RGBX64);
    } else if (image.format() == QImage::Format_ARGB32) {
        for (int row = 0; row < image.height(); ++row) {
            auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int column = 0; column < width; ++column)
                pixels[column] |= 0xFF000000u;
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
}

// Converted a band of rows at a time, each pixel on its own as a whole-image
// conversion would: converting a large 16-bit colour image at once held two
// more copies of it (512 MB each at 8192 x 8192).
constexpr int kRowsPerBand = 256;

// The rows from top on, over the decoded rows rather than a copy, with what
// the conversion to grey reads besides the pixels.
QImage bandOf(const QImage& decoded, int top)
{
    const int rows = std::min(kRowsPerBand, decoded.height() - top);
    QImage band(decoded.constScanLine(top), decoded.width(), rows, decoded.bytesPerLine(), decoded.format());
    band.setColorTable(decoded.colorTable());
    band.setColorSpace(decoded.colorSpace());
    return band;
}

std::vector<std::uint16_t> sixteenBitSamples(QImage decoded)
{
    makeOpaqueInPlace(decoded);
    const int width = decoded.width();
    std::vector<std::uint16_t> samples(std::size_t(width) * std::size_t(decoded.height()));
    for (int top = 0; top < decoded.height(); top += kRowsPerBand)
        copyGreyRows(bandOf(decoded, top), samples.data() + std::size_t(top) * std::size_t(width));
    return samples;
}

// For images of 16 bits a pixel or more: the grey samples packed at the
// front of the decoded pixels themselves, and the memory beyond them given
// back to the system. A 16-bit colour image of 8192 x 8192 otherwise holds
// its 512 MB of pixels beside its 128 MB of heights. Each band is made grey
// aside before it is written, and its samples end before the next band's
// pixels begin, so no pixel is overwritten before it is read.
QImage packedSamples(QImage decoded)
{
    makeOpaqueInPlace(decoded);
    const int width = decoded.width();
    const int height = decoded.height();
    std::vector<std::uint16_t> band(std::size_t(width) * kRowsPerBand);
    auto* front = reinterpret_cast<std::uint16_t*>(decoded.bits());
    for (int top = 0; top < height; top += kRowsPerBand) {
        const QImage rows = bandOf(decoded, top);
        copyGreyRows(rows, band.data());
        std::memcpy(front + std::size_t(top) * std::size_t(width), band.data(),
                    std::size_t(rows.height()) * std::size_t(width) * sizeof(std::uint16_t));
    }
    const long page = sysconf(_SC_PAGESIZE);
    const auto begin = reinterpret_cast<std::uintptr_t>(front + std::size_t(width) * std::size_t(height));
    const auto end = reinterpret_cast<std::uintptr_t>(decoded.bits()) + std::uintptr_t(decoded.sizeInBytes());
    const std::uintptr_t firstPage = (begin + std::uintptr_t(page) - 1) / std::uintptr_t(page) * std::uintptr_t(page);
    const std::uintptr_t endPage = end / std::uintptr_t(page) * std::uintptr_t(page);
    if (endPage > firstPage)
        madvise(reinterpret_cast<void*>(firstPage), endPage - firstPage, MADV_DONTNEED);
    return decoded;
}

// Qt's image plugins complain through Qt's messages ("libpng error: Read
// Error"); the user is told of a failure in Ferlow's words instead, and the
// complaint goes to the system log. Only the decoding thread's own messages
// are taken aside.
thread_local bool tDecoding = false;

class DecoderMessagesAside {
public:
    DecoderMessagesAside()
    {
        static std::once_flag installed;
        std::call_once(installed, [] {
            sPrevious = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (tDecoding)
                    detailLog(text.toStdString());
                else if (sPrevious)
                    sPrevious(type, context, text);
            });
        });
        tDecoding = true;
    }
    ~DecoderMessagesAside() { tDecoding = false; }
    DecoderMessagesAside(const DecoderMessagesAside&) = delete;
    DecoderMessagesAside& operator=(const DecoderMessagesAside&) = delete;

private:
    static inline QtMessageHandler sPrevious = nullptr;
};

// libpng tells of a damaged file on standard error itself, before Qt hears
// of it. A PNG whose chunks do not add up (cut short, bytes changed) is
// therefore refused before it reaches libpng; anything else is not ours to
// judge here. Reads the device through and puts it back at its start.
bool isDamagedPng(QIODevice& device)
{
    constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
    constexpr qint64 kHeaderBytes = 8; // length and type; the CRC follows the data
    constexpr qint64 kBlockBytes = qint64(1) << 20;
    if (device.peek(8) != QByteArrayView(kSignature, 8))
        return false;
    device.seek(8);
    QByteArray block;
    bool damaged = true;
    for (;;) {
        const QByteArray header = device.read(kHeaderBytes);
        if (header.size() != kHeaderBytes)
            break;
        qint64 left = qFromBigEndian<quint32>(header.constData());
        uLong crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(header.constData() + 4), 4);
        while (left > 0) {
            block = device.read(std::min(left, kBlockBytes));
            if (block.isEmpty())
                break;
            crc = crc32(crc, reinterpret_cast<const Bytef*>(block.constData()), uInt(block.size()));
            left -= block.size();
        }
        const QByteArray stored = device.read(4);
        if (left != 0 || stored.size() != 4 || qFromBigEndian<quint32>(stored.constData()) != crc)
            break;
        if (header.mid(4) == "IEND") {
            damaged = false;
            break;
        }
    }
    device.seek(0);
    return damaged;
}

// The decoders read from a device and tell nothing of their progress, nor
// can they be stopped otherwise: how far they have read is their progress,
// and a read that fails makes them give up. Told every thousandth of the
// file, not at each of the decoder's small reads.
class ProgressDevice : public QIODevice {
public:
    ProgressDevice(QIODevice& source, const ReadProgress& progress)
        : mSource(source)
        , mProgress(progress)
        , mReportEvery(std::max<qint64>(1, source.size() / kReports))
    {
        open(QIODevice::ReadOnly);
    }
    qint64 size() const override { return mSource.size(); }
    bool seek(qint64 position) override { return QIODevice::seek(position) && mSource.seek(position); }
    bool stopped() const { return mStopped; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 position = mSource.pos();
        if (mProgress && position >= mNextReport) {
            mNextReport = position + mReportEvery;
            mStopped = mStopped || !mProgress(double(position) / double(size()));
        }
        return mStopped ? -1 : mSource.read(data, maxSize);
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    static constexpr qint64 kReports = 1000;
    QIODevice& mSource;
    const ReadProgress& mProgress;
    qint64 mReportEvery;
    qint64 mNextReport = 0;
    bool mStopped = false;
};

QString readFailure(const QImageReader& reader)
{
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return BitmapImageRep::kNotAnImage;
    case QImageReader::InvalidDataError:
        return BitmapImageRep::kDamaged;
    default:
        return reader.errorString();
    }
}

} // namespace

BitmapImageRep::BitmapImageRep(int width, int height, std::vector<std::uint16_t> samples)
    : mWidth(width)
    , mHeight(height)
    , mSamples(std::move(samples))
    , mData(mSamples.data())
{
}

BitmapImageRep::BitmapImageRep(int width, int height, QImage packed)
    : mWidth(width)
    , mHeight(height)
    , mPacked(std::move(packed))
    , mData(reinterpret_cast<const std::uint16_t*>(std::as_const(mPacked).constBits()))
{
}

BitmapImageRep::Decoded BitmapImageRep::decode(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, {});
}

BitmapImageRep::Decoded BitmapImageRep::decode(QIODevice& source, const ReadProgress& progress)
{
    if (source.size() == 0)
        return {nullptr, QStringLiteral("the file is empty")};
    if (isDamagedPng(source))
        return {nullptr, kDamaged};
    const DecoderMessagesAside aside;
    ProgressDevice device(source, progress);
    QImageReader reader(&device);
    // As every image viewer shows it: a camera's JPEG stored sideways with
    // its EXIF orientation comes upright.
    reader.setAutoTransform(true);
    QImageReader::setAllocationLimit(kDecodeAllocationMegabytes);
    // The header's size is known before decoding: refuse what we will not hold.
    const QSize announced = reader.size();
    if (const QString refusal = announced.isValid() ? sizeRefusal(announced) : QString(); !refusal.isEmpty())
        return {nullptr, refusal};
    QImage decoded;
    if (!reader.read(&decoded))
        return {nullptr, device.stopped() ? kReadingStopped : readFailure(reader)};
    return fromImage(std::move(decoded));
}

BitmapImageRep::Decoded BitmapImageRep::fromImage(QImage decoded)
{
    if (const QString refusal = sizeRefusal(decoded.size()); !refusal.isEmpty())
        return {nullptr, refusal};
    const int width = decoded.width();
    const int height = decoded.height();
    if (decoded.depth() >= 16)
        return {std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(width, height, packedSamples(std::move(decoded)))),
                {}};
    return {std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(width, height, sixteenBitSamples(std::move(decoded)))),
            {}};
}

QString BitmapImageRep::sizeRefusal(const QSize& size)
{
    if (fitsLimits(size))
        return {};
    return QStringLiteral("the image is %1 × %2 pixels; Ferlow reads images of up to %3 pixels, %4 on a side")
        .arg(size.width())
        .arg(size.height())
        .arg(kMaxPixels)
        .arg(kMaxDimension);
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::fromData(const QByteArray& data)
{
    return decode(data).bitmap;
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::fromSamples(int width, int height,
                                                                      std::vector<std::uint16_t> samples)
{
    return std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(width, height, std::move(samples)));
}

std::shared_ptr<const BitmapImageRep> BitmapImageRep::centredSquare() const
{
    if (mWidth == mHeight)
        return shared_from_this();
    const int side = std::min(mWidth, mHeight);
    const int left = (mWidth - side) / 2;
    const int top = (mHeight - side) / 2;
    std::vector<std::uint16_t> samples(std::size_t(side) * std::size_t(side));
    for (int row = 0; row < side; ++row) {
        const std::uint16_t* from = mData + std::size_t(top + row) * std::size_t(mWidth) + std::size_t(left);
        std::copy_n(from, side, samples.data() + std::size_t(row) * std::size_t(side));
    }
    return std::shared_ptr<const BitmapImageRep>(new BitmapImageRep(side, side, std::move(samples)));
}
