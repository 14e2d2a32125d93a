#pragma once

#include <QString>
#include <optional>

// The application's data files. The main bundle is the set of resources
// compiled into the program (Qt resource system, rooted at ":/"), so Ferlow
// finds its files from any working directory. Paths it returns open with
// QFile and QImage like ordinary file paths.
class ResourceBundle {
public:
    // The bundle of the running program.
    static const ResourceBundle& mainBundle();
    // Puts the main bundle's resources under another directory (tests of
    // damaged resource files); std::nullopt restores the compiled-in ones.
    static void replaceMainBundle(std::optional<QString> root);

    // A bundle whose resources lie directly under the directory root.
    explicit ResourceBundle(QString root);

    // The full path of the resource "name.type", or nothing if there is none.
    std::optional<QString> pathForResource(const QString& name, const QString& type) const;

    // The text for key in the string table "table.strings" (a property-list
    // dictionary); otherwise value when it is not empty; otherwise the key.
    QString localizedStringForKey(const QString& key, const QString& value, const QString& table) const;

    // "grass.jpg" -> "grass"; "a/b.c.png" -> "a/b.c"; "noext" -> "noext".
    static QString stringByDeletingPathExtension(const QString& name);
    // "grass.jpg" -> "jpg"; "noext" -> "".
    static QString pathExtension(const QString& name);

private:
    QString mRoot;
};
