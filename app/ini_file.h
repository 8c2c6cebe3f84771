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
// Lines are kept as bytes: a line that is not valid text (a NUL byte, bytes of another encoding)
// is read past and written back as it stands. A file larger than kMaxFileSize is refused whole:
// nothing is read from it (every read gives its fallback) and writing to it throws with the
// reason (too_large_message()), as writing to a file that exists but cannot be read does.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

class IniFile {
public:
    // Files larger than this are neither read nor rewritten.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

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
    // when it exists but cannot be rewritten without losing some of it (see updatable()).
    void write_string(const QString& section, const QString& key, const QString& value);
    void write_integer(const QString& section, const QString& key, int value);
    // Writes "1" or "0".
    void write_bool(const QString& section, const QString& key, bool value);

    struct Entry {
        QString section;
        QString key;
        QString value;
    };
    // Writes the keys in order, as that many write_string calls would, in one rewrite of the
    // file: all of them or, on failure, none. Throws as write_string does.
    void write_all(const std::vector<Entry>& entries);

    // False when the file is there but cannot be read whole (unreadable, or larger than
    // kMaxFileSize): it is then never replaced. Looks at the file as it is now.
    bool updatable() const;
    // Whether the file is larger than kMaxFileSize, and so refused.
    bool too_large() const;
    // What the user is told of a refused file that is too large.
    QString too_large_message() const;

    // A value read as a whole number: decimal with an optional sign; hexadecimal when it starts
    // with "$", or with "0x" / "0X" and is longer than two characters. Anything else, or a number
    // outside the range of int (hexadecimal: 0 to 0x7FFFFFFF), gives nothing.
    static std::optional<int> parse_integer(const QString& text);

private:
    struct Document {
        bool whole = true;       // false: exists but could not be read whole
        bool unreadable = false; // a regular file that could not be read whole
        bool too_large = false;  // larger than kMaxFileSize: not read at all
        bool bom = false;
        QByteArray bytes; // the lines, without the byte-order mark
    };

    static Document load(const QString& path);
    static void apply(Document& doc, const Entry& entry);
    QString full_path() const;

    QString path_;
    std::optional<Document> snapshot_;
};

// Where the program's settings file, Kaptorama.ini, is read and written.
//
// It lies beside the executable while that folder can be written (and the file too, when it is
// there): a copy run from its build or unpacked folder keeps its settings with it. An installed
// copy, whose folder is read-only, keeps them per user instead, in the platform's folder for
// them (per_user_settings_folder(): ~/.config/kaptorama/ on Linux, %APPDATA%\Kaptorama\ on
// Windows). Until that file exists, a read-only Kaptorama.ini beside the executable gives the
// starting values: it is read, never written.
struct SettingsFiles {
    QString write; // where the configuration window stores the settings
    QString read;  // where they are loaded from at start-up
};

// The answer for an executable in `program_dir`, given the per-user folder and a test of whether
// a path may be written.
SettingsFiles settings_files_for(const QString& program_dir, const QString& per_user_folder,
                                 const std::function<bool(const QString&)>& writable);

// The answer for this program, from its executable's folder and its environment; the file is
// looked for anew at each call.
SettingsFiles settings_files();

// The settings file the program writes: settings_files().write.
QString settings_path();
