#include "platform/system/FilePath.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Every way a name comes in gives back its bytes: as they are, through the
// settings file, through a file:// URL (a drop, a dialog, a file manager).
TEST(FilePath, KeepsTheBytesOfEveryNameThroughEveryWayIn)
{
    for (const QByteArray native : {"/tmp/café.png", "/tmp/caf\xe9.png", "/tmp/\xff\xfe", "/tmp/\xc3", "/tmp/\xed\xa0\x80",
                                    "/tmp/\xc0\xaf", "/tmp/\xf0\x9f\x97\xbb.png", "/tmp/100% \xe9#?.png"}) {
        const QString path = FilePath::fromNative(native);
        const QString stored = FilePath::toStored(path);
        const QUrl url = stored.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(path) : QUrl(stored);
        for (const QString& back : {path, FilePath::fromStored(stored), FilePath::fromUrl(url)})
            EXPECT_EQ(FilePath::toNative(back), native) << native.toHex().constData();
    }
    EXPECT_EQ(FilePath::toStored(QStringLiteral("/tmp/café.png")), QStringLiteral("/tmp/café.png"));
    EXPECT_EQ(FilePath::forDisplay(FilePath::fromNative("/tmp/caf\xe9.png")), QStringLiteral("/tmp/caf\uFFFD.png"));
}

} // namespace
