#include "platform/system/FilePath.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Every way a name comes in gives back its bytes: as they are, through the
// settings file, through a file:// URL (a drop, a dialog, a file manager).
TEST(FilePath, KeepsTheBytesOfEveryNameThroughEveryWayIn)
{
    const QByteArray names[] = {
        "/tmp/plain.png",          "/tmp/caf\xc3\xa9.png",   "/tmp/caf\xe9.png",    "/tmp/\xff\xfe",
        "/tmp/\xc3",               "/tmp/\xed\xa0\x80.png", "/tmp/\xc0\xaf.png",   "/tmp/\xf0\x9f\x97\xbb.png",
        "/tmp/100% \xe9#?.png",
    };
    for (const QByteArray& native : names) {
        const QString path = FilePath::fromNative(native);
        EXPECT_EQ(FilePath::toNative(path), native) << native.toHex().constData();
        const QString stored = FilePath::toStored(path);
        EXPECT_EQ(FilePath::toNative(FilePath::fromStored(stored)), native) << native.toHex().constData();
        const QUrl url = stored.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(path) : QUrl(stored);
        EXPECT_EQ(FilePath::toNative(FilePath::fromUrl(url)), native) << native.toHex().constData();
    }
    // Only names that are no text take the URL's form, which a person reads
    // with the bytes that are no UTF-8 shown as such.
    EXPECT_EQ(FilePath::toStored(QStringLiteral("/tmp/café.png")), QStringLiteral("/tmp/café.png"));
    EXPECT_EQ(FilePath::forDisplay(FilePath::fromNative("/tmp/caf\xe9.png")), QStringLiteral("/tmp/caf\uFFFD.png"));
}

} // namespace
