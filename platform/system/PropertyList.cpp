#include "platform/system/PropertyList.h"

#include <QFile>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace {

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

QVariant toVariant(plist_t node);

QString stringValue(plist_t node)
{
    char* text = nullptr;
    plist_get_string_val(node, &text);
    QString result = QString::fromUtf8(text ? text : "");
    free(text);
    return result;
}

QVariant dictionaryValue(plist_t node)
{
    QVariantMap map;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (!item) {
            free(key);
            break;
        }
        const QVariant value = toVariant(item);
        if (value.isValid())
            map.insert(QString::fromUtf8(key), value);
        free(key);
    }
    free(iter);
    return map;
}

QVariant arrayValue(plist_t node)
{
    QVariantList list;
    const uint32_t size = plist_array_get_size(node);
    for (uint32_t i = 0; i < size; ++i)
        list.append(toVariant(plist_array_get_item(node, i)));
    return list;
}

QVariant toVariant(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_DICT:
        return dictionaryValue(node);
    case PLIST_ARRAY:
        return arrayValue(node);
    case PLIST_REAL: {
        double value = 0.0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_UINT: {
        // libplist keeps <integer> as 64 raw bits; negative values come back
        // in two's complement.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return static_cast<qint64>(value);
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_STRING:
    case PLIST_KEY:
        return stringValue(node);
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray data(bytes, static_cast<qsizetype>(length));
        free(bytes);
        return data;
    }
    default:
        return {};
    }
}

} // namespace

namespace PropertyList {

std::optional<QVariant> fromData(const QByteArray& data)
{
    if (data.isEmpty() || data.size() > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    if (!root)
        return std::nullopt;
    PlistPtr owner(root);
    QVariant value = toVariant(root);
    if (!value.isValid())
        return std::nullopt;
    return value;
}

std::optional<QVariantMap> dictionaryWithContentsOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<QVariant> value = fromData(file.readAll());
    if (!value || value->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return value->toMap();
}

} // namespace PropertyList
