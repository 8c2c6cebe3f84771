#pragma once
// The settings file: a small INI text file read and written key by key, the way the classic
// private-profile calls do it.
//
// Names of sections and keys are matched without regard to case. Lines are written ended by
// CR LF. Writing a key updates its line in place, or adds it at the end of its section, or adds
// the section at the end of the file; every other line is kept as it stands. Reading is tolerant
// (LF-only lines, blanks around names and values, a UTF-8 byte-order mark).
//
// Each write re-reads the file and rewrites it whole through AtomicFile, so it is on disk when
// the call returns and a failure leaves the previous file untouched. Reads come from a copy of
// the file taken at the first read (and refreshed by every write through this object): create a
// new IniFile to see changes made by somebody else since.
//
// A file that cannot be read, is not text or is larger than max_file_size reads as empty, so
// every read gives its default; writing to it throws instead of replacing what could not be
// parsed.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

class IniFile {
public:
    // Files larger than this are not parsed.
    static constexpr qint64 max_file_size = 1024 * 1024;

    explicit IniFile(QString path);

    const QString& path() const { return path_; }

    // The value of `key` in `section`, trimmed of surrounding blanks (and of one pair of matching
    // quotes); `fallback` when the section or the key is missing.
    QString read_string(const QString& section, const QString& key, const QString& fallback);
    // The value read as a whole number (see parse_integer); `fallback` when the key is missing or
    // its value is not a whole number.
    int read_integer(const QString& section, const QString& key, int fallback);
    // The value read as a number with the fallback 1 or 0; true when it is not 0.
    bool read_bool(const QString& section, const QString& key, bool fallback);

    // Set `key` of `section` to `value`, creating the file, the section or the key as needed.
    // Throws KapError "Impossible d'écrire dans <full path>" when the file cannot be written, or
    // when it exists but could not be read as a settings file.
    void write_string(const QString& section, const QString& key, const QString& value);
    void write_integer(const QString& section, const QString& key, int value);
    // Writes "1" or "0".
    void write_bool(const QString& section, const QString& key, bool value);

    // A value read as a whole number: decimal with an optional sign; hexadecimal when it starts
    // with "$", or with "0x" / "0X" and is longer than two characters. Anything else, or a number
    // outside the range of int (hexadecimal: 0 to 0x7FFFFFFF), gives nothing.
    static std::optional<int> parse_integer(const QString& text);

private:
    struct Line {
        enum class Kind { Other, Section, Key };
        QByteArray raw; // the line as it stands in the file, without its line break
        Kind kind = Kind::Other;
        QString name; // section or key name, trimmed
        QString value;
    };
    struct Document {
        bool usable = true; // false: exists but could not be read as a settings file
        bool bom = false;
        std::vector<Line> lines;
    };

    static Document load(const QString& path);
    static Line parse_line(QByteArray raw);
    // Index of the section's header line, or -1.
    static int find_section(const Document& doc, const QString& section);
    // One past the last line of the section whose header is at `header`.
    static int section_end(const Document& doc, int header);
    const Line* find_key(const QString& section, const QString& key);
    QString full_path() const;

    QString path_;
    std::optional<Document> snapshot_;
};

// The settings file of the program: Kaptorama.ini in the executable's directory.
QString settings_path();
