#include "tests/terrain/TerrainTesting.h"

#include <QBuffer>
#include <QFile>

QString ImageFiles::write(const QImage& image, const char* format)
{
    return writeBytes(encode(image, format));
}

QString ImageFiles::writeBytes(const QByteArray& bytes)
{
    const QString path = mDir.filePath(QString::number(mCount++));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage greyImage(int width, int height, const std::function<int(int row, int column)>& sample)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            image.scanLine(row)[column] = static_cast<uchar>(sample(row, column));
    return image;
}
