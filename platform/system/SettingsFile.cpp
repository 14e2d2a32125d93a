#include "platform/system/SettingsFile.h"

#include <QIODevice>
#include <QStringDecoder>
#include <algorithm>
#include <QStringList>
#include <optional>
#include <vector>

namespace {

// The readable lines of the file as read, under a key that no line can
// spell (a key with a control character is unreadable), so that a save can
// put every line back where it was.
const QString kLayoutKey = QStringLiteral("\x01layout");
const QString kGeneralSection = QStringLiteral("General");
const QString kInvalidValue = QStringLiteral("@Invalid()");
constexpr QChar kEscapedAt = u'@';

enum class Kind { Blank, Comment, Section, Setting, Unreadable };

struct Line {
    Kind kind = Kind::Unreadable;
    QString group; // a section's group; empty for General
    QString key;   // a setting's key within its section
    QVariant value;
};

bool isControl(QChar c)
{
    return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f;
}

std::optional<int> hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return std::nullopt;
}

// The value of `count` hex digits at `at`, if they are there.
std::optional<char16_t> hexNumber(QStringView text, qsizetype at, qsizetype count)
{
    if (at + count > text.size())
        return std::nullopt;
    char16_t number = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const std::optional<int> digit = hexDigit(text[i]);
        if (!digit)
            return std::nullopt;
        number = char16_t(number * 16 + *digit);
    }
    return number;
}

// Keys as QSettings escapes them: "\" for "/", %XX and %UXXXX for other
// characters; a "%" that starts no escape stands for itself.
std::optional<QString> unescapedKey(QStringView text)
{
    QString key;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            key += u'/';
        } else if (c == u'%' && i + 1 < text.size() && text[i + 1] == u'U' && hexNumber(text, i + 2, 4)) {
            key += QChar(*hexNumber(text, i + 2, 4));
            i += 5;
        } else if (c == u'%' && hexNumber(text, i + 1, 2)) {
            key += QChar(*hexNumber(text, i + 1, 2));
            i += 2;
        } else {
            key += c;
        }
    }
    if (key.isEmpty() || std::any_of(key.cbegin(), key.cend(), isControl))
        return std::nullopt;
    return key;
}

QString escapedKey(const QString& key)
{
    QString text;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == u'/')
            text += u'\\';
        else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_'
                 || u == u'-' || u == u'.')
            text += c;
        else if (u <= 0xff)
            text += QStringLiteral("%%1").arg(int(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QStringLiteral("%U%1").arg(int(u), 4, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

// A character after a backslash: the named escapes, "x" and hex digits,
// octal digits; any other character is dropped, as QSettings does.
// Nothing when the backslash ends the line: the line is incomplete.
std::optional<qsizetype> unescapeAt(QStringView text, qsizetype at, QString& out)
{
    static constexpr std::pair<char16_t, char16_t> kNamed[] = {{u'a', u'\a'}, {u'b', u'\b'}, {u'f', u'\f'},
                                                               {u'n', u'\n'}, {u'r', u'\r'}, {u't', u'\t'},
                                                               {u'v', u'\v'}, {u'"', u'"'},  {u'?', u'?'},
                                                               {u'\'', u'\''}, {u'\\', u'\\'}};
    if (at >= text.size())
        return std::nullopt;
    const char16_t c = text[at].unicode();
    for (const auto& [name, meaning] : kNamed) {
        if (c == name) {
            out += QChar(meaning);
            return at + 1;
        }
    }
    const bool hex = c == u'x';
    const int base = hex ? 16 : 8;
    qsizetype i = hex ? at + 1 : at;
    char16_t number = 0;
    const qsizetype first = i;
    for (; i < text.size(); ++i) {
        const std::optional<int> digit = hexDigit(text[i]);
        if (!digit || *digit >= base)
            break;
        number = char16_t(number * base + *digit);
    }
    if (i > first)
        out += QChar(number);
    return std::max(i, at + 1);
}

void chopTrailingBlanks(QString& text, qsizetype keep)
{
    while (text.size() > keep && (text.back() == u' ' || text.back() == u'\t'))
        text.chop(1);
}

QString unescapedAt(const QString& item)
{
    return item.startsWith(QStringLiteral("@@")) ? item.mid(1) : item;
}

// A value as QSettings reads it: blanks around items dropped unless quoted,
// commas outside quotes separating the items of a list, "@@" standing for
// a leading "@" and @Invalid() for no value. Nothing for a value that runs
// on past the line: an open quote or a backslash at its end.
std::optional<QVariant> parsedValue(QStringView text)
{
    QStringList items;
    QString item;
    bool inQuotes = false;
    bool quoted = false;
    qsizetype keep = 0; // characters of the item that trailing-blank chopping spares
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
            ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'\\') {
            const std::optional<qsizetype> next = unescapeAt(text, i + 1, item);
            if (!next)
                return std::nullopt;
            i = *next;
            keep = item.size();
        } else if (c == u'"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            keep = item.size();
            if (!inQuotes)
                skipBlanks();
        } else if (c == u',' && !inQuotes) {
            if (!quoted)
                chopTrailingBlanks(item, keep);
            items.append(item);
            item.clear();
            quoted = false;
            keep = 0;
            ++i;
            skipBlanks();
        } else {
            item += c;
            ++i;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (!quoted)
        chopTrailingBlanks(item, keep);
    if (!items.isEmpty()) {
        items.append(item);
        for (QString& element : items)
            element = unescapedAt(element);
        return QVariant(items);
    }
    if (item == kInvalidValue && !quoted)
        return QVariant();
    return QVariant(unescapedAt(item));
}

// The inverse of parsedValue for one text: quoted where it has a character
// that separates (";", ",", "=") or blanks at its ends; control characters
// as hex escapes, with a hex digit right after one escaped too so that it
// does not join the number.
QString escapedText(const QString& text)
{
    QString out;
    bool needsQuotes = false;
    bool escapeNextIfHex = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u';' || u == u',' || u == u'=')
            needsQuotes = true;
        if (escapeNextIfHex && hexDigit(c)) {
            out += QStringLiteral("\\x%1").arg(int(u), 0, 16);
            continue;
        }
        escapeNextIfHex = false;
        switch (u) {
        case u'\a': out += QStringLiteral("\\a"); break;
        case u'\b': out += QStringLiteral("\\b"); break;
        case u'\f': out += QStringLiteral("\\f"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        case u'\v': out += QStringLiteral("\\v"); break;
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        default:
            if (isControl(c)) {
                out += QStringLiteral("\\x%1").arg(int(u), 0, 16);
                escapeNextIfHex = true;
            } else {
                out += c;
            }
        }
    }
    if (needsQuotes || out.startsWith(u' ') || out.endsWith(u' '))
        return u'"' + out + u'"';
    return out;
}

QString escapedItem(const QString& text)
{
    return escapedText(text.startsWith(kEscapedAt) ? kEscapedAt + text : text);
}

QString escapedValue(const QVariant& value)
{
    if (!value.isValid())
        return kInvalidValue;
    if (value.typeId() != QMetaType::QStringList)
        return escapedItem(value.toString());
    const QStringList items = value.toStringList();
    if (items.isEmpty())
        return kInvalidValue;
    QStringList escaped;
    for (const QString& item : items)
        escaped.append(escapedItem(item));
    return escaped.join(QStringLiteral(", "));
}

Line sectionLine(QStringView trimmed)
{
    if (!trimmed.endsWith(u']'))
        return {};
    const QStringView name = trimmed.sliced(1, trimmed.size() - 2).trimmed();
    if (name.compare(kGeneralSection, Qt::CaseInsensitive) == 0)
        return {Kind::Section, QString(), {}, {}};
    if (name.compare(QStringLiteral("%General"), Qt::CaseInsensitive) == 0)
        return {Kind::Section, kGeneralSection, {}, {}};
    const std::optional<QString> group = unescapedKey(name);
    if (!group)
        return {};
    return {Kind::Section, *group, {}, {}};
}

Line settingLine(QStringView trimmed)
{
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals <= 0)
        return {};
    const std::optional<QString> key = unescapedKey(trimmed.first(equals).trimmed());
    const std::optional<QVariant> value = parsedValue(trimmed.sliced(equals + 1));
    if (!key || *key == kLayoutKey || !value)
        return {};
    return {Kind::Setting, {}, *key, *value};
}

Line parsedLine(const QString& text)
{
    if (std::any_of(text.cbegin(), text.cend(), isControl))
        return {};
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty())
        return {Kind::Blank, {}, {}, {}};
    if (trimmed.startsWith(u';') || trimmed.startsWith(u'#'))
        return {Kind::Comment, {}, {}, {}};
    if (trimmed.startsWith(u'['))
        return sectionLine(trimmed);
    return settingLine(trimmed);
}

// The lines of the file as text; a line that is not UTF-8 is nothing.
std::vector<std::optional<QString>> textLines(QByteArray contents)
{
    if (contents.startsWith("\xEF\xBB\xBF"))
        contents.remove(0, 3);
    contents.replace("\r\n", "\n");
    contents.replace('\r', '\n');
    QList<QByteArray> lines = contents.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    std::vector<std::optional<QString>> texts;
    texts.reserve(std::size_t(lines.size()));
    for (const QByteArray& line : lines) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(line);
        texts.push_back(decoder.hasError() ? std::nullopt : std::optional<QString>(std::move(text)));
    }
    return texts;
}

QString fullKey(const QString& group, const QString& key)
{
    return group.isEmpty() ? key : group + u'/' + key;
}

bool readFile(QIODevice& device, QSettings::SettingsMap& map)
{
    QStringList layout;
    QString group;
    for (const std::optional<QString>& text : textLines(device.readAll())) {
        const Line line = text ? parsedLine(*text) : Line{};
        if (line.kind == Kind::Unreadable)
            continue;
        layout.append(*text);
        if (line.kind == Kind::Section)
            group = line.group;
        else if (line.kind == Kind::Setting)
            map.insert(fullKey(group, line.key), line.value);
    }
    map.insert(kLayoutKey, layout);
    return true;
}

// One section of the file being written: its lines, and where the next
// new key of its group goes (after its last setting).
struct Section {
    QString group;
    QStringList lines;
    qsizetype insertAt = 0;
    bool hasHeader = false;
    bool isNew = false;
};

QString sectionHeader(const QString& group)
{
    if (group.isEmpty())
        return u'[' + kGeneralSection + u']';
    return u'[' + (group == kGeneralSection ? QStringLiteral("%General") : escapedKey(group)) + u']';
}

// The file's lines with the values of the map: unchanged lines as they
// were, changed values in place, keys gone from the map left out. Takes the
// keys it wrote out of `pending`.
std::vector<Section> sectionsInPlace(const QStringList& layout, QSettings::SettingsMap& pending)
{
    std::vector<Section> sections(1); // the lines before the first header: General
    for (const QString& text : layout) {
        const Line line = parsedLine(text);
        if (line.kind == Kind::Section) {
            sections.push_back({line.group, {text}, 1, true, false});
            continue;
        }
        Section& section = sections.back();
        if (line.kind != Kind::Setting) {
            section.lines.append(text);
            continue;
        }
        const auto it = pending.find(fullKey(section.group, line.key));
        if (it == pending.end())
            continue; // removed, or a repeat of a key already written
        section.lines.append(it.value() == line.value ? text : escapedKey(line.key) + u'=' + escapedValue(it.value()));
        section.insertAt = section.lines.size();
        pending.erase(it);
    }
    return sections;
}

// The section that takes new keys of the group: the last one of it; for
// General the lines before the first header when they hold settings, else a
// new [General] section right after them.
Section& sectionFor(std::vector<Section>& sections, const QString& group)
{
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
        const bool takes = it->group == group && (it->hasHeader || it->insertAt > 0);
        if (takes)
            return *it;
    }
    Section created{group, {sectionHeader(group)}, 1, true, true};
    if (group.isEmpty())
        return *sections.insert(sections.begin() + 1, std::move(created));
    sections.push_back(std::move(created));
    return sections.back();
}

bool writeFile(QIODevice& device, const QSettings::SettingsMap& map)
{
    QSettings::SettingsMap pending = map;
    const QStringList layout = pending.take(kLayoutKey).toStringList();
    std::vector<Section> sections = sectionsInPlace(layout, pending);
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        const QString group = slash < 0 ? QString() : it.key().first(slash);
        Section& section = sectionFor(sections, group);
        section.lines.insert(section.insertAt++, escapedKey(it.key().mid(slash + 1)) + u'=' + escapedValue(it.value()));
    }
    QStringList lines;
    for (const Section& section : sections) {
        // A new section is set apart by a blank line, as QSettings writes them.
        if (section.isNew && !lines.isEmpty() && !lines.back().trimmed().isEmpty())
            lines.append(QString());
        lines += section.lines;
    }
    const QByteArray text = lines.isEmpty() ? QByteArray() : (lines.join(u'\n') + u'\n').toUtf8();
    return device.write(text) == text.size();
}

} // namespace

namespace SettingsFile {

QSettings::Format format()
{
    static const QSettings::Format registered =
        QSettings::registerFormat(QStringLiteral("conf"), readFile, writeFile, Qt::CaseSensitive);
    return registered;
}

bool hasUnreadableLines(const QByteArray& contents)
{
    for (const std::optional<QString>& text : textLines(contents)) {
        if (!text || parsedLine(*text).kind == Kind::Unreadable)
            return true;
    }
    return false;
}

} // namespace SettingsFile
