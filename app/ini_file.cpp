#include "app/ini_file.h"

#include "platform/atomic_file.h"
#include "platform/error.h"

#include <QCoreApplication>
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
    constexpr qint64 int_max = std::numeric_limits<int>::max();

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
            if (v > int_max)
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
    const qint64 limit = negative ? int_max + 1 : int_max;
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

IniFile::Line IniFile::parse_line(QByteArray raw) {
    Line line;
    line.raw = std::move(raw);
    const QString text = QString::fromUtf8(line.raw).trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char(';')) || text.startsWith(QLatin1Char('#')))
        return line;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close > 0) {
            line.kind = Line::Kind::Section;
            line.name = text.mid(1, close - 1).trimmed();
        }
        return line;
    }
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return line;
    line.name = text.left(eq).trimmed();
    if (line.name.isEmpty())
        return line;
    line.kind = Line::Kind::Key;
    line.value = text.mid(eq + 1).trimmed();
    // A value in matching quotes is read without them.
    if (line.value.size() >= 2) {
        const QChar first = line.value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && line.value.back() == first)
            line.value = line.value.mid(1, line.value.size() - 2);
    }
    return line;
}

IniFile::Document IniFile::load(const QString& path) {
    Document doc;
    const QFileInfo info(path);
    if (!info.exists()) // also a symbolic link to nothing
        return doc;
    doc.usable = false;
    // Only a regular file: opening a pipe or a device could block or never end.
    if (!info.isFile())
        return doc;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return doc;
    QByteArray bytes = file.read(max_file_size + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > max_file_size ||
        bytes.contains('\0'))
        return doc;
    doc.usable = true;

    if (bytes.startsWith(utf8_bom)) {
        doc.bom = true;
        bytes.remove(0, utf8_bom.size());
    }
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        qsizetype stop = end;
        if (stop > start && bytes[stop - 1] == '\r')
            --stop;
        doc.lines.push_back(parse_line(bytes.mid(start, stop - start)));
        start = end + 1;
    }
    return doc;
}

int IniFile::find_section(const Document& doc, const QString& section) {
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& l = doc.lines[i];
        if (l.kind == Line::Kind::Section && same_name(l.name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int IniFile::section_end(const Document& doc, int header) {
    size_t i = static_cast<size_t>(header) + 1;
    while (i < doc.lines.size() && doc.lines[i].kind != Line::Kind::Section)
        ++i;
    return static_cast<int>(i);
}

const IniFile::Line* IniFile::find_key(const QString& section, const QString& key) {
    if (!snapshot_)
        snapshot_ = load(path_);
    const Document& doc = *snapshot_;
    const int header = find_section(doc, section.trimmed());
    if (header < 0)
        return nullptr;
    const QString k = key.trimmed();
    const int end = section_end(doc, header);
    for (int i = header + 1; i < end; ++i) {
        const Line& l = doc.lines[i];
        if (l.kind == Line::Kind::Key && same_name(l.name, k))
            return &l;
    }
    return nullptr;
}

QString IniFile::read_string(const QString& section, const QString& key, const QString& fallback) {
    const Line* line = find_key(section, key);
    return line ? line->value : fallback;
}

int IniFile::read_integer(const QString& section, const QString& key, int fallback) {
    const Line* line = find_key(section, key);
    if (!line)
        return fallback;
    return parse_integer(line->value).value_or(fallback);
}

bool IniFile::read_bool(const QString& section, const QString& key, bool fallback) {
    return read_integer(section, key, fallback ? 1 : 0) != 0;
}

QString IniFile::full_path() const {
    return QFileInfo(path_).absoluteFilePath();
}

void IniFile::write_string(const QString& section, const QString& key, const QString& value) {
    const QString sec = section.trimmed();
    const QString k = key.trimmed();
    // A name or value that would break the line structure is refused rather than written.
    if (!valid_section(sec) || !valid_key(k) || has_control_break(value))
        throw KapError(msg_cannot_write(full_path()));

    // Start from the file as it is now on disk, not from the snapshot: somebody may have
    // changed it since, and those changes are kept.
    Document doc = load(path_);
    if (!doc.usable)
        throw KapError(msg_cannot_write(full_path()));

    const QByteArray utf8_value = value.toUtf8();
    const int header = find_section(doc, sec);
    if (header < 0) {
        doc.lines.push_back(parse_line('[' + sec.toUtf8() + ']'));
        doc.lines.push_back(parse_line(k.toUtf8() + '=' + utf8_value));
    } else {
        const int end = section_end(doc, header);
        int last_filled = header;
        int found = -1;
        for (int i = header + 1; i < end && found < 0; ++i) {
            const Line& l = doc.lines[i];
            if (l.kind == Line::Kind::Key && same_name(l.name, k))
                found = i;
            else if (!l.raw.trimmed().isEmpty())
                last_filled = i;
        }
        if (found >= 0) // keep the key's spelling as it stands in the file
            doc.lines[found] = parse_line(doc.lines[found].name.toUtf8() + '=' + utf8_value);
        else
            doc.lines.insert(doc.lines.begin() + last_filled + 1,
                             parse_line(k.toUtf8() + '=' + utf8_value));
    }

    QByteArray out;
    if (doc.bom)
        out += utf8_bom;
    for (const Line& l : doc.lines) {
        out += l.raw;
        out += "\r\n";
    }
    try {
        AtomicFile file(path_);
        file.write(out.constData(), static_cast<std::size_t>(out.size()));
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

QString settings_path() {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("Kaptorama.ini");
}
