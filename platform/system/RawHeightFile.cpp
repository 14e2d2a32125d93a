#include "platform/system/RawHeightFile.h"

#include "platform/system/RegularFile.h"

#include <QFileInfo>
#include <cmath>

namespace {

// The side of a square of count samples, or 0 when count is no square.
qint64 squareSide(qint64 count)
{
    auto side = qint64(std::sqrt(double(count)));
    while (side * side > count)
        --side;
    while ((side + 1) * (side + 1) <= count)
        ++side;
    return side * side == count ? side : 0;
}

struct Layout {
    qint64 side = 0;
    int sampleBytes = 0;
};

// 16-bit samples first: no count of bytes is both twice a square and a
// square, so the two never compete.
Layout layoutOf(qint64 bytes, bool eightBitAllowed)
{
    if (bytes % 2 == 0) {
        if (const qint64 side = squareSide(bytes / 2))
            return {side, 2};
    }
    if (eightBitAllowed) {
        if (const qint64 side = squareSide(bytes))
            return {side, 1};
    }
    return {};
}

constexpr int kRowsBetweenReports = 64;

std::uint16_t sampleAt(const char* row, qint64 column, int sampleBytes)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row) + column * sampleBytes;
    return sampleBytes == 2 ? std::uint16_t(bytes[0] | bytes[1] << 8) : std::uint16_t(bytes[0] << 8);
}

} // namespace

bool RawHeightFile::claims(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("r16") || suffix == QLatin1String("raw");
}

BitmapImageRep::Decoded RawHeightFile::read(const QString& path, int maxSide, const ReadProgress& progress)
{
    const RegularFile opened = openRegularFile(path);
    if (!opened.failure.isEmpty())
        return {nullptr, opened.failure};
    const Layout layout = layoutOf(opened.size, QFileInfo(path).suffix().toLower() == QLatin1String("raw"));
    if (layout.side == 0)
        return {nullptr, QStringLiteral("a raw height file must be square: %1 bytes is not").arg(opened.size)};
    const int side = int(std::min<qint64>(layout.side, maxSide));
    const qint64 rowBytes = layout.side * layout.sampleBytes;
    QByteArray row(rowBytes, Qt::Uninitialized);
    std::vector<std::uint16_t> samples(std::size_t(side) * std::size_t(side));
    std::uint16_t* out = samples.data();
    for (int r = 0; r < side; ++r) {
        if (r % kRowsBetweenReports == 0 && !progress(double(r) / side))
            return {nullptr, kReadingStopped};
        if (!opened.file->seek(r * layout.side / side * rowBytes) || opened.file->read(row.data(), rowBytes) != rowBytes)
            return {nullptr, opened.file->errorString()};
        for (int column = 0; column < side; ++column)
            *out++ = sampleAt(row.constData(), column * layout.side / side, layout.sampleBytes);
    }
    return {BitmapImageRep::fromSamples(side, side, std::move(samples)), {}};
}
