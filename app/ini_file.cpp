#include "app/ini_file.h"

#include "platform/core/atomic_file.h"
#include "platform/core/error.h"
#include "platform/core/file_checks.h"
#include "platform/core/settings_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <limits>

namespace {

const QByteArray utf8_bom("\xEF\xBB\xBF");

bool same_name(const QString& a, const QString& b) {
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

bool has_control_break(const QString& s) {
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n')) ||
           s.contains(QChar(u'\0'));
}

// Section names end at ']'; key names at '='; a key may not look like a section or a comment.
bool valid_section(const QString& s) {
    return !s.isEmpty() && !has_control_break(s) && !s.contains(QLatin1Char(']'));
}

bool valid_key(const QString& k) {
    return !k.isEmpty() && !has_control_break(k) && !k.contains(QLatin1Char('=')) &&
           !k.startsWith(QLatin1Char('[')) && !k.startsWith(QLatin1Char(';')) &&
           !k.startsWith(QLatin1Char('#'));
}

int hex_digit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

std::optional<int> IniFile::parse_integer(const QString& text) {
    QStringView s(text);
    constexpr qint64 kIntMax = std::numeric_limits<int>::max();

    qsizetype hex_start = -1;
    if (s.startsWith(u'$'))
        hex_start = 1;
    else if (s.size() > 2 && (s.startsWith(u"0x") || s.startsWith(u"0X")))
        hex_start = 2;

    if (hex_start >= 0) {
        if (s.size() == hex_start)
            return std::nullopt;
        qint64 v = 0;
        for (qsizetype i = hex_start; i < s.size(); ++i) {
            const int d = hex_digit(s[i]);
            if (d < 0)
                return std::nullopt;
            v = v * 16 + d;
            if (v > kIntMax)
                return std::nullopt;
        }
        return static_cast<int>(v);
    }

    bool negative = false;
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    if (i == s.size())
        return std::nullopt;
    const qint64 limit = negative ? kIntMax + 1 : kIntMax;
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const char16_t u = s[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        v = v * 10 + (u - u'0');
        if (v > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -v : v);
}

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && is_blank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && is_blank(v.back()))
        v.chop(1);
    return v;
}

// One line of the file as it stands, and what it holds.
struct Line {
    enum class Kind { Other, Section, Key };
    QByteArrayView raw; // without its line break (LF, or CR LF)
    Kind kind = Kind::Other;
    QByteArrayView name; // section or key name, trimmed
    QByteArrayView value;
};

Line parse_line(QByteArrayView raw) {
    Line line;
    line.raw = raw;
    const QByteArrayView text = trimmed(raw);
    if (text.isEmpty() || text.front() == ';' || text.front() == '#')
        return line;
    if (text.front() == '[') {
        const qsizetype close = text.indexOf(']');
        if (close > 0) {
            line.kind = Line::Kind::Section;
            line.name = trimmed(text.sliced(1, close - 1));
        }
        return line;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0)
        return line;
    line.name = trimmed(text.first(eq));
    if (line.name.isEmpty())
        return line;
    line.kind = Line::Kind::Key;
    line.value = trimmed(text.sliced(eq + 1));
    // A value in matching quotes is read without them.
    if (line.value.size() >= 2) {
        const char first = line.value.front();
        if ((first == '"' || first == '\'') && line.value.back() == first)
            line.value = line.value.sliced(1, line.value.size() - 2);
    }
    return line;
}

bool same_name(QByteArrayView a, const QString& b) {
    return same_name(QString::fromUtf8(a), b);
}

// Calls visit(line) for every line in order until it returns false. A line break is LF, with
// the CR before it dropped; a last line without a break counts, an empty end does not.
template <typename Visit> void for_each_line(const QByteArray& bytes, Visit&& visit) {
    const QByteArrayView all(bytes);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        qsizetype stop = end;
        if (stop > start && all[stop - 1] == '\r')
            --stop;
        if (!visit(parse_line(all.sliced(start, stop - start))))
            return;
        start = end + 1;
    }
}

// The value of `key` in the first section named `section`.
std::optional<QString> find_value(const QByteArray& bytes, const QString& section,
                                  const QString& key) {
    std::optional<QString> found;
    bool inside = false;
    for_each_line(bytes, [&](const Line& l) {
        if (l.kind == Line::Kind::Section) {
            if (inside)
                return false; // the section ended without the key
            inside = same_name(l.name, section);
        } else if (inside && l.kind == Line::Kind::Key && same_name(l.name, key)) {
            found = QString::fromUtf8(l.value);
            return false;
        }
        return true;
    });
    return found;
}

} // namespace

IniFile::Document IniFile::load(const QString& path) {
    Document doc;
    const QFileInfo info(path);
    if (!info.exists()) // also a symbolic link to nothing
        return doc;
    doc.whole = false;
    // Only a regular file: opening a pipe or a device could block or never end.
    if (!info.isFile())
        return doc;
    doc.unreadable = true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return doc;
    QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return doc;
    if (bytes.size() > kMaxFileSize) {
        // Not a settings file anyone wrote by hand: reading part of it would give settings that
        // the next store could not keep.
        doc.too_large = true;
        return doc;
    }
    doc.whole = true;
    doc.unreadable = false;
    if (bytes.startsWith(utf8_bom)) {
        doc.bom = true;
        bytes.remove(0, utf8_bom.size());
    }
    doc.bytes = std::move(bytes);
    return doc;
}

bool IniFile::updatable() const {
    return !load(path_).unreadable;
}

bool IniFile::too_large() const {
    return load(path_).too_large;
}

QString IniFile::too_large_message() const {
    return QStringLiteral("Le fichier de réglages \"%1\" dépasse 16 Mo : Kaptorama ne le lit pas "
                          "et n'y enregistre rien. Réduisez-le ou supprimez-le")
        .arg(QDir::toNativeSeparators(full_path()));
}

QString IniFile::read_string(const QString& section, const QString& key, const QString& fallback) {
    if (!snapshot_)
        snapshot_ = load(path_);
    return find_value(snapshot_->bytes, section.trimmed(), key.trimmed()).value_or(fallback);
}

int IniFile::read_integer(const QString& section, const QString& key, int fallback) {
    if (!snapshot_)
        snapshot_ = load(path_);
    const std::optional<QString> value =
        find_value(snapshot_->bytes, section.trimmed(), key.trimmed());
    if (!value)
        return fallback;
    return parse_integer(*value).value_or(fallback);
}

bool IniFile::read_bool(const QString& section, const QString& key, bool fallback) {
    return read_integer(section, key, fallback ? 1 : 0) != 0;
}

QString IniFile::full_path() const {
    return QFileInfo(path_).absoluteFilePath();
}

void IniFile::apply(Document& doc, const Entry& entry) {
    // First pass: where the section starts, where the key stands, and the last line of the
    // section that is not blank (a new key goes after it).
    qsizetype index = 0, header = -1, key_line = -1, last_filled = -1;
    QByteArray key_name;
    bool inside = false;
    for_each_line(doc.bytes, [&](const Line& l) {
        const qsizetype i = index++;
        if (l.kind == Line::Kind::Section) {
            if (inside)
                return false;
            inside = same_name(l.name, entry.section);
            if (inside)
                header = last_filled = i;
        } else if (inside) {
            if (l.kind == Line::Kind::Key && same_name(l.name, entry.key)) {
                key_line = i;
                key_name = l.name.toByteArray(); // the key keeps its spelling in the file
                return false;
            }
            if (!trimmed(l.raw).isEmpty())
                last_filled = i;
        }
        return true;
    });

    // Second pass: the file again, every line ended by CR LF, with the key set.
    const QByteArray value = entry.value.toUtf8();
    QByteArray out;
    out.reserve(doc.bytes.size() + entry.section.size() + entry.key.size() + value.size() + 16);
    index = 0;
    for_each_line(doc.bytes, [&](const Line& l) {
        const qsizetype i = index++;
        if (i == key_line)
            out += key_name + '=' + value;
        else
            out += l.raw;
        out += "\r\n";
        if (key_line < 0 && i == last_filled)
            out += entry.key.toUtf8() + '=' + value + "\r\n";
        return true;
    });
    if (header < 0)
        out += '[' + entry.section.toUtf8() + "]\r\n" + entry.key.toUtf8() + '=' + value + "\r\n";
    doc.bytes = std::move(out);
}

void IniFile::write_string(const QString& section, const QString& key, const QString& value) {
    write_all({Entry{section, key, value}});
}

void IniFile::write_all(const std::vector<Entry>& entries) {
    std::vector<Entry> clean;
    clean.reserve(entries.size());
    for (const Entry& e : entries) {
        const Entry c{e.section.trimmed(), e.key.trimmed(), e.value};
        // A name or value that would break the line structure is refused rather than written.
        if (!valid_section(c.section) || !valid_key(c.key) || has_control_break(c.value))
            throw KapError(msg_cannot_write(full_path()));
        clean.push_back(c);
    }

    // Start from the file as it is now on disk, not from the snapshot: somebody may have
    // changed it since, and those changes are kept.
    Document doc = load(path_);
    if (doc.too_large)
        throw KapError(too_large_message());
    if (!doc.whole)
        throw KapError(msg_cannot_write(full_path()));
    for (const Entry& e : clean)
        apply(doc, e);

    try {
        // A settings file linked from a folder of the user's own is written where it lies.
        AtomicFile file(file_behind_links(path_));
        if (doc.bom)
            file.write(utf8_bom.constData(), std::size_t(utf8_bom.size()));
        file.write(doc.bytes.constData(), std::size_t(doc.bytes.size()));
        file.commit();
    } catch (const KapError&) {
        throw KapError(msg_cannot_write(full_path()));
    }
    snapshot_ = std::move(doc);
}

void IniFile::write_integer(const QString& section, const QString& key, int value) {
    write_string(section, key, QString::number(value));
}

void IniFile::write_bool(const QString& section, const QString& key, bool value) {
    write_string(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

SettingsFiles settings_files_for(const QString& program_dir, const QString& per_user_folder,
                                 const std::function<bool(const QString&)>& writable) {
    const QString name = QStringLiteral("Kaptorama.ini");
    QString dir = program_dir;
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    const QString beside = dir + name;
    const bool beside_exists = QFileInfo::exists(beside);
    if (writable(program_dir) && (!beside_exists || writable(beside)))
        return {beside, beside};

    const QString per_user = QDir(per_user_folder).filePath(name);
    if (QFileInfo::exists(per_user) || !beside_exists)
        return {per_user, per_user};
    return {per_user, beside};
}

SettingsFiles settings_files() {
    return settings_files_for(QCoreApplication::applicationDirPath(), per_user_settings_folder(),
                              can_write);
}

QString settings_path() {
    return settings_files().write;
}
