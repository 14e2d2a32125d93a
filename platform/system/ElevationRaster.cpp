#include "platform/system/ElevationRaster.h"

#include "platform/system/FilePath.h"
#include "platform/system/RegularFile.h"
#include "platform/system/SystemLog.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_priv.h>
#include <ogr_srs_api.h>

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>

namespace {

// GDAL's block cache is shared by the whole process, and by default takes a
// twentieth of the memory; reading a square through it needs no more than a
// row of tiles or so at a time.
constexpr std::int64_t kBlockCacheBytes = std::int64_t(64) << 20;

// Registering the TIFF driver hands libtiff's complaints to GDAL, for every
// TIFF the process reads, Qt's included; what GDAL says outside a reading
// of ours goes to the system log, one line each, not to the terminal.
void CPL_STDCALL toSystemLog(CPLErr, CPLErrorNum, const char* message)
{
    detailLog(message);
}

void registerDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        CPLSetErrorHandler(&toSystemLog);
        GDALAllRegister();
        GDALSetCacheMax64(kBlockCacheBytes);
    });
}

// GDAL's messages on this thread while it lives, kept for the failure they
// explain instead of reaching the terminal; the handler stack is per thread.
class GdalMessages {
public:
    GdalMessages()
    {
        CPLPushErrorHandlerEx(&GdalMessages::keep, this);
        CPLErrorReset();
    }
    ~GdalMessages() { CPLPopErrorHandler(); }
    GdalMessages(const GdalMessages&) = delete;
    GdalMessages& operator=(const GdalMessages&) = delete;

    // The first error, which the later ones mostly follow from.
    const QString& gist() const { return mFirstError; }

private:
    static void CPL_STDCALL keep(CPLErr severity, CPLErrorNum, const char* message)
    {
        auto* messages = static_cast<GdalMessages*>(CPLGetErrorHandlerUserData());
        if (severity >= CE_Failure && messages->mFirstError.isEmpty())
            messages->mFirstError = QString::fromUtf8(message);
    }

    QString mFirstError;
};

QString unreadable(const GdalMessages& messages)
{
    const QString gist = messages.gist();
    return gist.isEmpty() ? QStringLiteral("the heights cannot be read")
                          : QStringLiteral("the heights cannot be read (%1)").arg(gist);
}

// The largest centred square in the file's pixels, as the picture path cuts
// it (an odd remainder leaves the extra column or row right or below).
struct Window {
    int left = 0;
    int top = 0;
    int side = 0;
};

Window centredSquare(GDALRasterBandH band)
{
    const int width = GDALGetRasterBandXSize(band);
    const int height = GDALGetRasterBandYSize(band);
    const int side = std::min(width, height);
    return {(width - side) / 2, (height - side) / 2, side};
}

// The share of a read's progress that GDAL's reading takes; filling and
// scaling take the rest.
constexpr double kReadingShare = 0.8;

int CPL_STDCALL reportReading(double fraction, const char*, void* progress)
{
    return (*static_cast<const ReadProgress*>(progress))(fraction * kReadingShare) ? TRUE : FALSE;
}

std::string driverOf(GDALDatasetH dataset)
{
    return GDALGetDriverShortName(GDALGetDatasetDriver(dataset));
}

// GDAL's ASCII grids find a row by reading every row above it, and where
// one is missing, each row above tries again all those before it: time
// exponential in the rows. Read from the top down, a missing row fails once,
// at once.
bool readsRowsInOrder(GDALDatasetH dataset)
{
    const std::string driver = driverOf(dataset);
    return driver == "AAIGrid" || driver == "GRASSASCIIGrid" || driver == "ISG";
}

bool readRowsAbove(GDALDatasetH dataset, GDALRasterBandH band, const Window& window)
{
    float sample = 0.0f;
    for (int row = 0; row < window.top && readsRowsInOrder(dataset); ++row)
        if (GDALRasterIO(band, GF_Read, 0, row, 1, 1, &sample, 1, 1, GDT_Float32, 0, 0) != CE_None)
            return false;
    return true;
}

std::vector<float> readAveraged(GDALRasterBandH band, const Window& window, int size, const ReadProgress& progress)
{
    std::vector<float> values(std::size_t(size) * std::size_t(size));
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Average;
    extra.pfnProgress = reportReading;
    extra.pProgressData = const_cast<ReadProgress*>(&progress);
    if (GDALRasterIOEx(band, GF_Read, window.left, window.top, window.side, window.side, values.data(), size, size,
                       GDT_Float32, 0, 0, &extra)
        != CE_None)
        return {};
    return values;
}

// A picture's transparent colour, which GDAL reports as a no-data value,
// makes no elevation data of it.
bool noDataIsTransparency(GDALDatasetH dataset)
{
    const std::string driver = driverOf(dataset);
    return driver == "PNG" || driver == "GIF" || driver == "TGA";
}

std::optional<double> noDataOf(GDALRasterBandH band)
{
    int has = FALSE;
    const double value = GDALGetRasterNoDataValue(band, &has);
    return has ? std::optional<double>(value) : std::nullopt;
}

bool hasGeoTransform(GDALDatasetH dataset, std::array<double, 6>& transform)
{
    return GDALGetGeoTransform(dataset, transform.data()) == CE_None
        && transform != std::array<double, 6>{0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
}

// Valid heights in the band's units (its scale and offset applied); the
// invalid ones marked.
std::vector<std::uint8_t> validate(std::vector<float>& values, GDALRasterBandH band)
{
    const std::optional<double> noData = noDataOf(band);
    const bool hasNoData = noData.has_value();
    // Compared as read: GDAL gives the no-data value as a sample of the buffer's type.
    const float noDataSample = hasNoData ? float(*noData) : 0.0f;
    const double scale = GDALGetRasterScale(band, nullptr);
    const double offset = GDALGetRasterOffset(band, nullptr);
    std::vector<std::uint8_t> valid(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        valid[i] = std::isfinite(values[i]) && !(hasNoData && values[i] == noDataSample);
        if (valid[i])
            values[i] = float(values[i] * scale + offset);
    }
    return valid;
}

// Whether there is any valid height, and if so the lowest and highest.
bool setRange(Relief& relief, const std::vector<float>& values, const std::vector<std::uint8_t>& valid)
{
    bool any = false;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (valid[i]) {
            relief.lowest = any ? std::min(relief.lowest, double(values[i])) : values[i];
            relief.highest = any ? std::max(relief.highest, double(values[i])) : values[i];
            any = true;
        }
    return any;
}

enum Fill : std::uint8_t { kMissing, kKnown, kQueued };

template <typename Visit>
void forEachNeighbour(std::size_t index, int side, Visit visit)
{
    const int row = int(index / std::size_t(side));
    const int column = int(index % std::size_t(side));
    for (int r = std::max(0, row - 1); r <= std::min(side - 1, row + 1); ++r)
        for (int c = std::max(0, column - 1); c <= std::min(side - 1, column + 1); ++c)
            if (r != row || c != column)
                visit(std::size_t(r) * std::size_t(side) + std::size_t(c));
}

// Missing heights are filled ring by ring from the valid ones around them,
// each the mean of its neighbours already known: a hole is spanned from its
// rim, and nothing in it goes below or above the heights around it, so it
// leaves neither a pit nor a spike.
void fillMissing(std::vector<float>& values, std::vector<std::uint8_t>& state, int side)
{
    std::vector<std::size_t> ring;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (state[i] == kMissing) {
            bool touchesKnown = false;
            forEachNeighbour(i, side, [&](std::size_t n) { touchesKnown = touchesKnown || state[n] == kKnown; });
            if (touchesKnown)
                ring.push_back(i);
        }
    for (const std::size_t i : ring)
        state[i] = kQueued;
    std::vector<float> means;
    while (!ring.empty()) {
        means.clear();
        for (const std::size_t i : ring) {
            double sum = 0.0;
            int count = 0;
            forEachNeighbour(i, side, [&](std::size_t n) {
                if (state[n] == kKnown) {
                    sum += values[n];
                    ++count;
                }
            });
            means.push_back(float(sum / count));
        }
        std::vector<std::size_t> next;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            values[ring[k]] = means[k];
            state[ring[k]] = kKnown;
            forEachNeighbour(ring[k], side, [&](std::size_t n) {
                if (state[n] == kMissing) {
                    state[n] = kQueued;
                    next.push_back(n);
                }
            });
        }
        ring = std::move(next);
    }
}

// The relief stretched over the 16-bit samples, the lowest height 0 and the
// highest 65535; a relief of none lies at the floor.
std::vector<std::uint16_t> samplesOf(const std::vector<float>& values, double lowest, double highest)
{
    constexpr double kTop = 65535.0;
    const double scale = highest > lowest ? kTop / (highest - lowest) : 0.0;
    std::vector<std::uint16_t> samples(values.size());
    std::transform(values.begin(), values.end(), samples.begin(), [&](float value) {
        return std::uint16_t(std::lround(std::clamp((value - lowest) * scale, 0.0, kTop)));
    });
    return samples;
}

struct LengthUnit {
    const char* name;
    const char* shown;
    double metres;
};
constexpr double kFoot = 0.3048;
constexpr double kUsSurveyFoot = 1200.0 / 3937.0;
constexpr LengthUnit kLengthUnits[] = {
    {"", "m", 1.0},          {"m", "m", 1.0},          {"metre", "m", 1.0},
    {"meter", "m", 1.0},     {"metres", "m", 1.0},     {"meters", "m", 1.0},
    {"ft", "ft", kFoot},     {"foot", "ft", kFoot},    {"feet", "ft", kFoot},
    {"us-ft", "ft", kUsSurveyFoot}, {"ftUS", "ft", kUsSurveyFoot}, {"US survey foot", "ft", kUsSurveyFoot},
};

void setUnit(Relief& relief, GDALRasterBandH band)
{
    const QString unit = QString::fromUtf8(GDALGetRasterUnitType(band)).trimmed();
    const auto known = std::find_if(std::begin(kLengthUnits), std::end(kLengthUnits), [&](const LengthUnit& u) {
        return unit.compare(QLatin1String(u.name), Qt::CaseInsensitive) == 0;
    });
    relief.unit = known == std::end(kLengthUnits) ? unit : QString::fromLatin1(known->shown);
    if (known != std::end(kLengthUnits))
        relief.metresPerUnit = known->metres;
}

// Metres along a pixel's x and y axes per unit of the reference system at
// a latitude: a projected system's linear unit, or for a geographic one the
// radii of curvature of its ellipsoid there (the meridian's for north-south,
// the parallel's for east-west).
std::optional<std::array<double, 2>> metresPerCoordinate(OGRSpatialReferenceH reference, double latitude)
{
    if (OSRIsProjected(reference))
        return std::array<double, 2>{OSRGetLinearUnits(reference, nullptr), OSRGetLinearUnits(reference, nullptr)};
    if (!OSRIsGeographic(reference))
        return std::nullopt;
    const double radiansPerUnit = OSRGetAngularUnits(reference, nullptr);
    OGRErr error = OGRERR_NONE;
    const double semiMajor = OSRGetSemiMajor(reference, &error);
    const double inverseFlattening = OSRGetInvFlattening(reference, &error);
    const double flattening = inverseFlattening > 0.0 ? 1.0 / inverseFlattening : 0.0;
    const double eccentricity2 = flattening * (2.0 - flattening);
    const double sine = std::sin(latitude * radiansPerUnit);
    const double w = 1.0 - eccentricity2 * sine * sine;
    const double meridian = semiMajor * (1.0 - eccentricity2) / (w * std::sqrt(w));
    const double parallel = semiMajor / std::sqrt(w) * std::cos(latitude * radiansPerUnit);
    return std::array<double, 2>{parallel * radiansPerUnit, meridian * radiansPerUnit};
}

void setGroundSize(Relief& relief, GDALDatasetH dataset, const Window& window)
{
    std::array<double, 6> t{};
    const OGRSpatialReferenceH reference = GDALGetSpatialRef(dataset);
    if (!reference || !hasGeoTransform(dataset, t))
        return;
    const double centre = window.side / 2.0;
    const double latitude = t[3] + (window.left + centre) * t[4] + (window.top + centre) * t[5];
    const auto metres = metresPerCoordinate(reference, latitude);
    if (!metres)
        return;
    relief.groundWidth = window.side * std::hypot(t[1], t[4]) * (*metres)[0];
    relief.groundDepth = window.side * std::hypot(t[2], t[5]) * (*metres)[1];
}

// GDAL's TGA reader takes whatever lies past the end of a file cut short
// for the pixels missing, undefined: a file must hold every pixel its header
// announces. The packets of a run-length file are walked to the last, a
// block of the file at a time.
constexpr qint64 kTgaHeaderBytes = 18;

bool holdsEveryPixel(QIODevice& file, qint64 size)
{
    const QByteArray header = file.read(kTgaHeaderBytes);
    if (header.size() != kTgaHeaderBytes)
        return false;
    const auto byte = [&header](int at) { return qint64(std::uint8_t(header[at])); };
    const auto word = [&byte](int at) { return byte(at) | byte(at + 1) << 8; };
    const qint64 pixelBytes = byte(16) / 8;
    const qint64 colourMapBytes = byte(1) == 1 ? word(5) * ((byte(7) + 7) / 8) : 0;
    qint64 at = kTgaHeaderBytes + byte(0) + colourMapBytes;
    qint64 pixels = word(12) * word(14);
    constexpr qint64 kRunLengthType = 8;
    if (!(byte(2) & kRunLengthType))
        return at + pixels * pixelBytes <= size;
    constexpr qint64 kBlockBytes = qint64(1) << 16;
    QByteArray block;
    qint64 blockStart = 0;
    while (pixels > 0) {
        if (at >= blockStart + block.size()) {
            blockStart = at;
            if (!file.seek(at) || (block = file.read(kBlockBytes)).isEmpty())
                return false;
        }
        const auto packet = std::uint8_t(block[qsizetype(at - blockStart)]);
        const qint64 count = (packet & 0x7f) + 1;
        at += 1 + (packet & 0x80 ? 1 : count) * pixelBytes;
        pixels -= count;
    }
    return at <= size;
}

// Laid out as Qt's readers give a picture: grey at 8 or 16 bits, a palette,
// or colour; a fourth band, alpha, is left out, as the heights leave it.
QImage pictureLayout(GDALDatasetH dataset, const QSize& size)
{
    if (GDALGetRasterCount(dataset) >= 3)
        return QImage(size, QImage::Format_RGB32);
    const GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const GDALColorTableH table = GDALGetRasterColorTable(band);
    if (!table)
        return QImage(size, GDALGetRasterDataType(band) == GDT_UInt16 ? QImage::Format_Grayscale16
                                                                      : QImage::Format_Grayscale8);
    constexpr int kIndices = 256;
    QList<QRgb> colours;
    for (int i = 0; i < std::min(GDALGetColorEntryCount(table), kIndices); ++i) {
        const GDALColorEntry* entry = GDALGetColorEntry(table, i);
        colours << qRgba(entry->c1, entry->c2, entry->c3, entry->c4);
    }
    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(colours);
    return image;
}

// Colour is read as bytes and put together here: a QRgb's bytes lie in the
// machine's order.
bool readPictureRow(GDALDatasetH dataset, int row, QImage& image, std::vector<GByte>& colour)
{
    const int width = image.width();
    if (image.format() != QImage::Format_RGB32)
        return GDALRasterIO(GDALGetRasterBand(dataset, 1), GF_Read, 0, row, width, 1, image.scanLine(row), width, 1,
                            image.format() == QImage::Format_Grayscale16 ? GDT_UInt16 : GDT_Byte, 0, 0)
            == CE_None;
    int bands[] = {1, 2, 3};
    if (GDALDatasetRasterIO(dataset, GF_Read, 0, row, width, 1, colour.data(), width, 1, GDT_Byte, 3, bands, 3,
                            0, 1)
        != CE_None)
        return false;
    auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row));
    for (int column = 0; column < width; ++column)
        pixels[column] = qRgb(colour[3 * column], colour[3 * column + 1], colour[3 * column + 2]);
    return true;
}

} // namespace

void ElevationRaster::Closer::operator()(GDALDataset* dataset) const
{
    GDALClose(GDALDataset::ToHandle(dataset));
}

ElevationRaster::ElevationRaster(GDALDataset* dataset)
    : mDataset(dataset)
{
}

ElevationRaster::~ElevationRaster()
{
    // GDAL may have something to say on closing too.
    const GdalMessages messages;
    mDataset.reset();
}

ElevationRaster::Opened ElevationRaster::open(const QString& path)
{
    // GDAL would block on a FIFO; what is no regular file is left to the
    // picture path to refuse.
    const RegularFile file = openRegularFile(path);
    if (!file.failure.isEmpty())
        return {};
    registerDrivers();
    const GdalMessages messages;
    const GDALDatasetH dataset =
        GDALOpenEx(FilePath::toNative(path).constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!dataset && !messages.gist().isEmpty())
        return {nullptr, unreadable(messages)};
    // GDAL knows an SRTM tile by its name and size, and passes over one cut
    // short without a word.
    if (!dataset && QFileInfo(path).suffix().compare(QLatin1String("hgt"), Qt::CaseInsensitive) == 0)
        return {nullptr, QStringLiteral("the SRTM height file is damaged or incomplete (%1 bytes)").arg(file.size)};
    if (!dataset)
        return {};
    return {std::unique_ptr<ElevationRaster>(new ElevationRaster(GDALDataset::FromHandle(dataset))), {}};
}

bool ElevationRaster::isElevation() const
{
    const GDALDatasetH dataset = GDALDataset::ToHandle(mDataset.get());
    if (GDALGetRasterCount(dataset) != 1)
        return false;
    const GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    std::array<double, 6> transform{};
    return (type != GDT_Byte && type != GDT_UInt16) || hasGeoTransform(dataset, transform)
        || GDALGetSpatialRef(dataset) || (noDataOf(band) && !noDataIsTransparency(dataset));
}

bool ElevationRaster::isPicture() const
{
    return driverOf(GDALDataset::ToHandle(mDataset.get())) == "TGA";
}

BitmapImageRep::Decoded ElevationRaster::readPicture(const ReadProgress& progress) const
{
    const GDALDatasetH dataset = GDALDataset::ToHandle(mDataset.get());
    const QSize size(GDALGetRasterXSize(dataset), GDALGetRasterYSize(dataset));
    if (const QString refusal = BitmapImageRep::sizeRefusal(size); !refusal.isEmpty())
        return {nullptr, refusal};
    const RegularFile file = openRegularFile(FilePath::fromNative(GDALGetDescription(dataset)));
    if (!file.file)
        return {nullptr, file.failure};
    if (!holdsEveryPixel(*file.file, file.size))
        return {nullptr, BitmapImageRep::kDamaged};
    QImage image = pictureLayout(dataset, size);
    if (image.isNull())
        return {nullptr, QStringLiteral("there is not enough memory for its %1 × %2 pixels")
                             .arg(size.width())
                             .arg(size.height())};
    std::vector<GByte> colour(3 * std::size_t(size.width()));
    for (int row = 0; row < size.height(); ++row) {
        if (!progress(double(row) / size.height()))
            return {nullptr, kReadingStopped};
        if (!readPictureRow(dataset, row, image, colour))
            return {nullptr, BitmapImageRep::kDamaged};
    }
    return BitmapImageRep::fromImage(std::move(image));
}

ElevationRaster::Heights ElevationRaster::read(int maxSide, const ReadProgress& progress) const
{
    const GdalMessages messages;
    const GDALDatasetH dataset = GDALDataset::ToHandle(mDataset.get());
    const int bands = GDALGetRasterCount(dataset);
    if (bands != 1)
        return {nullptr, {}, QStringLiteral("it has %1 bands of elevation; Ferlow reads heights from a single band").arg(bands)};
    const GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const Window window = centredSquare(band);
    const int side = std::min(window.side, maxSide);
    if (!readRowsAbove(dataset, band, window))
        return {nullptr, {}, unreadable(messages)};
    std::vector<float> values = readAveraged(band, window, side, progress);
    // Asked again, progress tells a stop from a fault.
    if (values.empty())
        return {nullptr, {}, progress(kReadingShare) ? unreadable(messages) : kReadingStopped};
    std::vector<std::uint8_t> state = validate(values, band);
    Relief relief;
    if (!setRange(relief, values, state))
        return {nullptr, {}, QStringLiteral("it holds no valid height")};
    fillMissing(values, state, side);
    if (!progress(1.0))
        return {nullptr, {}, kReadingStopped};
    setUnit(relief, band);
    setGroundSize(relief, dataset, window);
    return {BitmapImageRep::fromSamples(side, side, samplesOf(values, relief.lowest, relief.highest)),
            std::move(relief), {}};
}
