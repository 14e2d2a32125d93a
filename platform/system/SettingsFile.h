#pragma once

#include <QByteArray>
#include <QSettings>

// The text of the settings file: the INI syntax that QSettings writes
// (sections, percent-escaped keys, quoted and backslash-escaped values,
// comma-separated lists), read so that every line stands on its own.
//
// A line that cannot be read (an unclosed quote, a value ending in a lone
// backslash, no "=", bytes that are not UTF-8 text or are control codes)
// counts as missing and takes no other line with it, where QSettings' own
// reader would join it with the lines that follow. A UTF-8 byte order mark
// and CRLF or CR line ends are read like plain text.
//
// Saving keeps the file as it was wherever nothing changed: comments (";"
// or "#"), blank lines, keys this program does not know, and the order of
// the lines stay; a changed value is written in the place of the old one, a
// new key goes after the last setting of its section, and unreadable lines
// are left out (see SettingsStore for the copy kept of them).
namespace SettingsFile {

// The format to open the file with: QSettings then reads and writes it
// through this syntax and still saves it atomically under its lock file.
QSettings::Format format();

// Whether the contents have lines that cannot be read, which a save drops.
bool hasUnreadableLines(const QByteArray& contents);

} // namespace SettingsFile
