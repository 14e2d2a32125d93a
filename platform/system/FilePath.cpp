#include "platform/system/FilePath.h"

#include <QUrl>
#include <algorithm>
#include <sys/stat.h>

namespace {

constexpr char16_t kEscapedBytes = 0xDC00;

bool isEscapedByte(char16_t unit)
{
    return unit >= kEscapedBytes + 0x80 && unit <= kEscapedBytes + 0xFF;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0: no overlong
// forms, no surrogates, nothing beyond U+10FFFF.
qsizetype utf8Length(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const auto continues = [&](qsizetype i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continues(at + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continues(at + 1, low, high) && continues(at + 2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continues(at + 1, low, high) && continues(at + 2) && continues(at + 3) ? 4 : 0;
    }
    return 0;
}

bool hasEscapedBytes(const QString& path)
{
    return std::any_of(path.begin(), path.end(), [](QChar c) { return isEscapedByte(c.unicode()); });
}

} // namespace

namespace FilePath {

QString fromNative(const QByteArray& bytes)
{
    QString path;
    path.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        if (const qsizetype length = utf8Length(bytes, at)) {
            path += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        } else {
            path += QChar(char16_t(kEscapedBytes + static_cast<unsigned char>(bytes[at++])));
        }
    }
    return path;
}

QByteArray toNative(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype at = 0; at < path.size();) {
        const char16_t unit = path[at].unicode();
        if (isEscapedByte(unit)) {
            bytes += char(unit - kEscapedBytes);
            ++at;
            continue;
        }
        const qsizetype units = path[at].isHighSurrogate() && at + 1 < path.size() && path[at + 1].isLowSurrogate() ? 2 : 1;
        bytes += QStringView(path).mid(at, units).toUtf8();
        at += units;
    }
    return bytes;
}

QString fromUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    return fromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString forDisplay(const QString& path)
{
    QString shown = path;
    for (QChar& c : shown)
        if (isEscapedByte(c.unicode()))
            c = QChar::ReplacementCharacter;
    return shown;
}

QString toStored(const QString& path)
{
    if (!hasEscapedBytes(path))
        return path;
    return QStringLiteral("file://") + QString::fromLatin1(toNative(path).toPercentEncoding("/"));
}

QString fromStored(const QString& stored)
{
    if (stored.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        if (const QString path = fromUrl(QUrl(stored)); !path.isEmpty())
            return path;
    }
    return stored;
}

bool isFile(const QString& path)
{
    struct stat status {};
    return ::stat(toNative(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

} // namespace FilePath
