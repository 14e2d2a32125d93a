#include "platform/system/BitmapImageRep.h"
#include "platform/system/ReadProgress.h"
#include "terrain/TerrainImage.h"
#include "tests/terrain/TerrainTesting.h"

#include <QFile>
#include <QRect>
#include <gdal.h>
#include <gtest/gtest.h>
#include <ogr_srs_api.h>

namespace {

constexpr float kExtent = 100.0f;
constexpr float kHeight = 14.0f;

std::shared_ptr<const TerrainImage> openImage(ImageFiles& files, const QImage& image)
{
    const TerrainImage::Opened opened = TerrainImage::open(files.write(image), kExtent, kHeight);
    EXPECT_TRUE(opened.terrain) << opened.failure.toStdString();
    return opened.terrain;
}

// The ride height over the vertex of pixel (row, column), as the mesh lays
// the pixels out from edge to edge.
float rideOver(const TerrainImage& terrain, int row, int column)
{
    const float width = float(terrain.heights()->pixelsWide() - 1);
    return terrain.rideHeight(float(column) / width - 0.5f, float(row) / width - 0.5f);
}

// Flat ground at a quarter of the height scale with one needle of full
// height: the ride clears every pixel, and the needle lifts it only nearby,
// over the cells around the needle's own.
TEST(TerrainImage, TheRideHeightClearsEveryPixelAndRisesOnlyNearAPeak)
{
    constexpr int kSize = 300;
    constexpr int kNeedleRow = 150, kNeedleColumn = 40;
    const QImage image = greyImage(kSize, kSize, [](int row, int column) {
        return row == kNeedleRow && column == kNeedleColumn ? 255 : 64;
    });
    ImageFiles files;
    const auto terrain = openImage(files, image);
    ASSERT_TRUE(terrain);
    const float cellPixels = float(kSize) / TerrainImage::kRideCells;
    for (int row = 0; row < kSize; ++row)
        for (int column = 0; column < kSize; ++column) {
            const float ride = rideOver(*terrain, row, column);
            const float sample = float(terrain->heights()->bitmapData()[row * kSize + column]) / 65536.0f;
            ASSERT_GE(ride, sample) << row << ", " << column;
            const float distance = float(std::max(std::abs(row - kNeedleRow), std::abs(column - kNeedleColumn)));
            if (distance > 3.0f * cellPixels) {
                ASSERT_EQ(ride, 0.25f) << row << ", " << column;
            }
            if (distance < cellPixels) {
                ASSERT_EQ(ride, 255.0f / 256.0f) << row << ", " << column;
            }
        }
    // Off the square: as at its nearest edge.
    EXPECT_EQ(terrain->rideHeight(-3.0f, 0.0f), rideOver(*terrain, kSize / 2, 0));
    EXPECT_EQ(terrain->rideHeight(0.0f, 9.0f), 0.25f);
}

// An image smaller than the ride grid still gives every cell a pixel.
TEST(TerrainImage, TheRideHeightOfATinyImageCoversEveryPixel)
{
    const QImage image = greyImage(5, 5, [](int row, int column) { return row * 50 + column; });
    ImageFiles files;
    const auto terrain = openImage(files, image);
    ASSERT_TRUE(terrain);
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_GE(rideOver(*terrain, row, column), float(row * 50 + column) / 256.0f) << row << ", " << column;
    // Between the pixels too, where the mesh runs up to the higher ones.
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_GE(terrain->rideHeight((column + 0.5f) / 4.0f - 0.5f, (row + 0.5f) / 4.0f - 0.5f),
                      float((row + 1) * 50 + column + 1) / 256.0f) << row << ", " << column;
}

// Heights from 1076 at the top left down to 236 at the bottom right.
double slope(int row, int column, int side)
{
    return 1076.0 - 840.0 * (row + column) / (2.0 * (side - 1));
}

// Tile N33 W098 in degrees of WGS 84, as SRTM has it, its pixel centres on
// whole seconds.
void placeAtN33W098(GDALDatasetH dataset, int side)
{
    const double cell = 1.0 / (side - 1);
    double transform[6] = {-98.0 - cell / 2, cell, 0.0, 34.0 + cell / 2, 0.0, -cell};
    GDALSetGeoTransform(dataset, transform);
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(wgs84, 4326);
    GDALSetSpatialRef(dataset, wgs84);
    OSRDestroySpatialReference(wgs84);
}

struct Raster {
    const char* driver;
    int width, height;
    GDALDataType type;
    std::function<double(int row, int column)> sample;
    std::vector<const char*> options = {};
    std::optional<double> noData = {};
    int bands = 1;
    bool georeferenced = false;
};

QString writeRaster(const QString& path, const Raster& r)
{
    GDALAllRegister();
    GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", r.width, r.height, r.bands, r.type, nullptr);
    std::vector<double> samples(std::size_t(r.width) * r.height);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = r.sample(int(i / r.width), int(i % r.width));
    for (int band = 1; band <= r.bands; ++band) {
        EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(memory, band), GF_Write, 0, 0, r.width, r.height, samples.data(),
                               r.width, r.height, GDT_Float64, 0, 0), CE_None);
        if (r.noData)
            GDALSetRasterNoDataValue(GDALGetRasterBand(memory, band), *r.noData);
    }
    if (r.georeferenced)
        placeAtN33W098(memory, r.width);
    std::vector<const char*> options = r.options;
    options.push_back(nullptr);
    GDALClose(GDALCreateCopy(GDALGetDriverByName(r.driver), QFile::encodeName(path).constData(), memory, FALSE,
                             const_cast<char**>(options.data()), nullptr, nullptr));
    GDALClose(memory);
    return path;
}

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
}

// SRTM's tile: big-endian signed 16-bit heights, the file's name its place.
QByteArray hgtBytes(int side)
{
    QByteArray bytes(2 * side * side, '\0');
    for (int i = 0; i < side * side; ++i) {
        const auto height = std::int16_t(std::lround(slope(i / side, i % side, side)));
        bytes[2 * i] = char(height >> 8);
        bytes[2 * i + 1] = char(height & 0xff);
    }
    return bytes;
}

// The pixels of grey.png as a TGA: grey (type 3) at 8 or 16 bits, true
// colour (2), a palette (1) whose one transparent colour GDAL takes for
// no-data, or run-length grey (11) stored from the bottom row up.
QByteArray tgaBytes(int type, int depth)
{
    const bool palette = type == 1, runLength = type == 11;
    QByteArray bytes(18, '\0');
    bytes[1] = char(palette);
    bytes[2] = char(type);
    bytes[5] = char(palette ? 35 : 0);
    bytes[7] = char(palette ? 32 : 0);
    bytes[12] = bytes[14] = 4;
    bytes[16] = char(depth);
    bytes[17] = char(runLength ? 0 : 0x20);
    for (int i = 0; palette && i < 35; ++i)
        bytes += QByteArray(3, char(i)) + char(i ? 255 : 0);
    bytes += QByteArray(runLength ? 1 : 0, char(15));
    for (int i = 0; i < 16; ++i)
        bytes += QByteArray(depth / 8, char(10 * (runLength ? 3 - i / 4 : i / 4) + i % 4 + 1));
    return bytes;
}

const std::vector<const char*> kTiledDeflate = {"TILED=YES", "COMPRESS=DEFLATE"};
const QString kVrtOfMissingFile = QStringLiteral(
    "<VRTDataset rasterXSize=\"64\" rasterYSize=\"64\"><VRTRasterBand dataType=\"Float32\" band=\"1\">"
    "<SimpleSource><SourceFilename relativeToVRT=\"1\">gone.tif</SourceFilename></SimpleSource>"
    "</VRTRasterBand></VRTDataset>");

// Each file that reads gives the square's side, and heights spread over the
// whole scale where they are elevation data; a filled hole keeps within its
// rim (no pit).
TEST(TerrainImage, ReadsElevationDataRawHeightsAndPictures)
{
    QTemporaryDir folder;
    const auto at = [&](const char* name) { return folder.filePath(QLatin1String(name)); };
    struct Case {
        QString path;
        int side;
        const char* description;
        std::uint16_t firstSample;
        QRect hole = {};
    };
    const Case cases[] = {
        {writeRaster(at("slope.tif"), {"GTiff", 300, 300, GDT_Int16,
                                       [](int r, int c) { return r < 40 && c >= 260 ? -32768.0 : slope(r, c, 300); },
                                       {}, -32768.0}),
         300, "slope.tif (236–1076 m)", 65535, QRect(260, 0, 40, 40)},
        {writeRaster(at("trench.tif"), {"GTiff", 600, 500, GDT_Float32,
                                        [](int r, int c) { return slope(r, c, 600) - 600.0; }, kTiledDeflate}),
         500, "trench.tif (-259–441 m)", 65535},
        {writeRaster(at("wide.tif"), {"GTiff", 2200, 2100, GDT_Float32,
                                      [](int r, int c) { return c < 100 ? NAN : 0.5 * r + c; }, kTiledDeflate}),
         2048, "wide.tif (100–3198 m)", 48},
        {writeFile(at("N33W098.hgt"), hgtBytes(1201)), 1201, "N33W098.hgt (93 × 111 km, 236–1076 m)", 65535},
        {writeRaster(at("dem.asc"), {"AAIGrid", 50, 60, GDT_Int32, [](int r, int c) { return slope(r, c, 60); }}), 50,
         "dem.asc (343–1040 m)", 65535},
        {writeFile(at("pair.R16"), QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08", 8)), 2, "pair.R16", 0x0201},
        {writeFile(at("nine.raw"), QByteArray("\x10\x20\x30\x40\x50\x60\x70\x80\x90", 9)), 3, "nine.raw", 0x1000},
        {writeRaster(at("grey.png"), {"PNG", 4, 4, GDT_Byte, [](int r, int c) { return 10 * r + c + 1; }}), 4,
         "grey.png", 0x0100},
        {writeFile(at("grey.tga"), tgaBytes(3, 8)), 4, "grey.tga", 0x0100},
        {writeFile(at("rle.tga"), tgaBytes(11, 8)), 4, "rle.tga", 0x0100},
        {writeFile(at("deep.tga"), tgaBytes(3, 16)), 4, "deep.tga", 0x0101},
        {writeFile(at("colour.tga"), tgaBytes(2, 24)), 4, "colour.tga", 0x0100},
        {writeFile(at("palette.tga"), tgaBytes(1, 8)), 4, "palette.tga", 0x0100},
    };
    for (const Case& c : cases) {
        const auto terrain = TerrainImage::open(c.path, kExtent, kHeight).terrain;
        ASSERT_TRUE(terrain) << c.description;
        const BitmapImageRep& heights = *terrain->heights();
        ASSERT_EQ(heights.pixelsWide(), c.side) << c.description;
        EXPECT_EQ(terrain->description().toStdString(), c.description);
        EXPECT_EQ(heights.bitmapData()[0], c.firstSample) << c.description;
        const auto [lowest, highest] = std::minmax_element(heights.bitmapData(), heights.bitmapData() + c.side * c.side);
        if (terrain->relief()) {
            EXPECT_EQ(*highest - *lowest, 65535) << c.description;
        }
        std::uint16_t rim = 65535, hole = 65535;
        for (int row = 0; row <= c.hole.bottom() + 1 && !c.hole.isEmpty(); ++row)
            for (int column = c.hole.left() - 1; column <= c.hole.right(); ++column)
                (c.hole.contains(column, row) ? hole : rim) =
                    std::min(c.hole.contains(column, row) ? hole : rim, heights.bitmapData()[row * c.side + column]);
        EXPECT_GE(hole, rim) << c.description;
    }
}

// A metre up is a metre across: the tile is some 102 km across on average
// and rises 840 m; a terrain of unknown ground has no such scale.
TEST(TerrainImage, ElevationDataOfKnownGroundHasTrueProportions)
{
    QTemporaryDir folder;
    const auto tile = TerrainImage::open(writeFile(folder.filePath("N33W098.hgt"), hgtBytes(1201)), kExtent, kHeight);
    ASSERT_TRUE(tile.terrain) << tile.failure.toStdString();
    const Relief& relief = *tile.terrain->relief();
    EXPECT_NEAR(*relief.groundWidth, 92970.0, 100.0);
    EXPECT_NEAR(*relief.groundDepth, 110940.0, 100.0);
    EXPECT_NEAR(*tile.terrain->trueProportionsHeight(kExtent), kExtent * 840.0 / 101955.0, 0.01);
    const auto asc = TerrainImage::open(
        writeRaster(folder.filePath("dem.asc"), {"AAIGrid", 9, 9, GDT_Int32, [](int r, int) { return r; }}), kExtent,
        kHeight);
    EXPECT_FALSE(asc.terrain->trueProportionsHeight(kExtent));
}

// Told to stop at its first report, each reader stops there (the GDAL
// reader asks once more, to tell a stop from a fault).
TEST(TerrainImage, ElevationDataAndRawHeightsStopWhenAsked)
{
    QTemporaryDir folder;
    for (const QString& path : {writeFile(folder.filePath("N33W098.hgt"), hgtBytes(1201)),
                                writeFile(folder.filePath("big.r16"), QByteArray(2 * 3000 * 3000, '\1'))}) {
        int reports = 0;
        const ReadProgress stop = [&](double) { return ++reports == 0; };
        EXPECT_EQ(TerrainImage::open(path, kExtent, kHeight, stop).failure, kReadingStopped);
        EXPECT_LE(reports, 2) << path.toStdString();
    }
}

QString damaged(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(file.size() / 3);
    file.write(QByteArray(int(file.size() / 3), '\x5a'));
    return path;
}

TEST(TerrainImage, RefusesBrokenElevationDataAndSaysWhy)
{
    QTemporaryDir folder;
    const auto at = [&](const char* name) { return folder.filePath(QLatin1String(name)); };
    writeFile(at("huge.hdr"), "ENVI\nsamples = 1000000\nlines = 1000000\nbands = 1\nheader offset = 0\n"
                              "file type = ENVI Standard\ndata type = 4\ninterleave = bsq\nbyte order = 0\n");
    const std::pair<QString, const char*> cases[] = {
        {damaged(writeRaster(at("damaged.tif"), {"GTiff", 512, 512, GDT_Float32, [](int r, int c) { return r * c; },
                                                 kTiledDeflate})),
         "the heights cannot be read (" /* and what GDAL says of it */},
        {writeFile(at("N33W098.hgt"), hgtBytes(1201).left(1201 * 1201)),
         "the SRTM height file is damaged or incomplete (1442401 bytes)"},
        {writeFile(at("gone.vrt"), kVrtOfMissingFile.toUtf8()), "the heights cannot be read ("},
        {writeFile(at("huge.img"), QByteArray(64, '\0')), "the heights cannot be read (Image file is too small)"},
        {writeRaster(at("bands.img"), {"ENVI", 8, 8, GDT_Int16, [](int r, int) { return r; }, {}, {}, 3}),
         "it has 3 bands of elevation; Ferlow reads heights from a single band"},
        {writeFile(at("odd.raw"), QByteArray(1000, '\1')), "a raw height file must be square: 1000 bytes is not"},
        {writeRaster(at("void.tif"), {"GTiff", 8, 8, GDT_Float32, [](int, int) { return -9999.0; }, {}, -9999.0}),
         "it holds no valid height"},
        {writeFile(at("cut.tga"), tgaBytes(11, 8).chopped(1)), "the image is damaged or incomplete"},
    };
    for (const auto& [path, reason] : cases) {
        const TerrainImage::Opened opened = TerrainImage::open(path, kExtent, kHeight);
        EXPECT_FALSE(opened.terrain) << reason;
        EXPECT_TRUE(opened.failure.startsWith(QString::fromUtf8(reason))) << opened.failure.toStdString();
    }
}

} // namespace
