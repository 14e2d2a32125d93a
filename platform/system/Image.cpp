#include "platform/system/Image.h"

#include "platform/system/BitmapImageRep.h"
#include "platform/system/ResourceBundle.h"

#include <QFile>

std::shared_ptr<Image> Image::fromResource(const QString& name)
{
    const auto path = ResourceBundle::mainBundle().pathForResource(
        ResourceBundle::stringByDeletingPathExtension(name), ResourceBundle::pathExtension(name));
    return path ? fromFile(*path) : nullptr;
}

std::shared_ptr<Image> Image::fromFile(const QString& path)
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
        mBitmap = BitmapImageRep::fromData(mEncoded);
        mDecoded = true;
    }
    return mBitmap;
}
