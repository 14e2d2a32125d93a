#pragma once

#include <QImage>
#include <QTemporaryDir>
#include <functional>

// Files for the loaders, which read images by path: each write() gives a new
// file in a directory removed with this object.
class ImageFiles {
public:
    QString write(const QImage& image, const char* format = "PNG");
    QString writeBytes(const QByteArray& bytes);

private:
    QTemporaryDir mDir;
    int mCount = 0;
};

QByteArray encode(const QImage& image, const char* format = "PNG");

// An 8-bit grey image whose pixel at (row, column) is sample(row, column).
QImage greyImage(int width, int height, const std::function<int(int row, int column)>& sample);
