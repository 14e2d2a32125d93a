#include "platform/system/ResourceBundle.h"

#include "platform/system/PropertyList.h"

#include <QFileInfo>

namespace {
const QString kCompiledInRoot = QStringLiteral(":");

ResourceBundle& mainBundleInstance()
{
    static ResourceBundle bundle(kCompiledInRoot);
    return bundle;
}
} // namespace

const ResourceBundle& ResourceBundle::mainBundle()
{
    return mainBundleInstance();
}

void ResourceBundle::replaceMainBundle(std::optional<QString> root)
{
    mainBundleInstance() = ResourceBundle(root.value_or(kCompiledInRoot));
}

ResourceBundle::ResourceBundle(QString root)
    : mRoot(std::move(root))
{
}

std::optional<QString> ResourceBundle::pathForResource(const QString& name, const QString& type) const
{
    if (name.isEmpty())
        return std::nullopt;
    const QString fileName = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    const QString path = mRoot + QLatin1Char('/') + fileName;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return std::nullopt;
    return path;
}

QString ResourceBundle::localizedStringForKey(const QString& key, const QString& value, const QString& table) const
{
    if (const auto path = pathForResource(table, QStringLiteral("strings"))) {
        if (const auto strings = PropertyList::dictionaryWithContentsOfFile(*path)) {
            const QVariant text = strings->value(key);
            if (text.typeId() == QMetaType::QString)
                return text.toString();
        }
    }
    return value.isEmpty() ? key : value;
}

QString ResourceBundle::stringByDeletingPathExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return dot > slash + 1 ? name.left(dot) : name;
}

QString ResourceBundle::pathExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
    return dot > slash + 1 ? name.mid(dot + 1) : QString();
}
