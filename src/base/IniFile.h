#pragma once

#include <QByteArray>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <stdexcept>

namespace vantry {

// A write the platform refused. The text is "Unable to write to <full path>".
class StoreWriteError : public std::runtime_error
{
public:
    explicit StoreWriteError(const QString& text);
    const QString& text() const { return m_text; }

private:
    QString m_text;
};

// The settings file: an INI text with the profile-file properties that stored settings rely on.
// Section and key names compare without regard to case; keys keep their file order; a write
// replaces a value in place, appends a new key at the end of its section and a new section at the
// end of the file. Lines it does not understand are kept as they are.
//
// Every write goes to the file at once and atomically (a temporary file in the same folder renamed
// over the old one); a refused write throws StoreWriteError and leaves both the file and this
// object as they were. A file it creates, and a file that holds a password or a key, is readable and
// writable by the owner only.
//
// Text is written as UTF-8; a value or name read back that is not well-formed UTF-8 is read as
// Windows-1251 (files carried over from that code page).
class IniFile
{
public:
    // A key whose non-empty value makes the file the owner's only (a password, an API key).
    struct SecretKey
    {
        QString section;
        QString key;
    };

    // Reads the file when it exists; opening creates no file.
    explicit IniFile(const QString& path, QVector<SecretKey> secrets = {});

    const QString& path() const { return m_path; }
    // Reads the file again, dropping what was loaded before.
    void reload();

    QString readString(const QString& section, const QString& key, const QString& fallback) const;
    // Decimal, or hexadecimal after "0x", "0X" or "$"; any other text yields the fallback.
    int readInteger(const QString& section, const QString& key, int fallback) const;
    // An integer; non-zero is true.
    bool readBool(const QString& section, const QString& key, bool fallback) const;
    // All key names of the section in file order, however many.
    QStringList keys(const QString& section) const;
    // Key names with their values, in file order.
    QVector<QPair<QString, QString>> entries(const QString& section) const;
    // A section exists when it holds at least one key.
    bool sectionExists(const QString& section) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);
    void eraseSection(const QString& section);

    // Groups writes into one file write: the file changes once, at commit, or not at all.
    class Batch
    {
    public:
        explicit Batch(IniFile& file);
        ~Batch(); // without commit, the writes of the batch are dropped
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        void commit(); // throws StoreWriteError; the batch's writes are then dropped

    private:
        IniFile& m_file;
        bool m_done = false;
    };

    // The longest value a read returns, in characters.
    static constexpr int MaxValueLength = 2047;

    // Parses an integer as the integer reads do; false for anything else.
    static bool parseInteger(const QString& text, int& value);

private:
    enum class LineKind
    {
        Other, // blank, comment or a line without "="
        Key,
    };
    struct Line
    {
        LineKind kind = LineKind::Other;
        QByteArray raw;   // the line as in the file, without its end
        QString name;     // key name, blanks trimmed
        QByteArray value; // raw value bytes, blanks trimmed
    };
    struct Section
    {
        bool hasHeader = false; // false only for lines before the first section header
        QString name;
        QVector<Line> lines;
    };
    using Model = QVector<Section>;

    static Model parse(const QByteArray& bytes, bool& crlf);
    QByteArray serialize(const Model& model) const;
    const Line* findKey(const QString& section, const QString& key) const;
    // Applies an edit: at once to the file, or to the model only while a batch runs.
    void change(const std::function<void(Model&)>& edit);
    static QString valueText(const Line& line);
    void persist(const Model& model) const;
    // A secret is stored in the model: a last password ("LastPass" in section "Password") or a
    // Steam Web API key ("SteamKey" in section "Master"), not empty.
    bool holdsSecret(const Model& model) const;
    QString writeErrorText() const;

    QString m_path;
    QVector<SecretKey> m_secrets;
    Model m_model;
    Model m_snapshot; // the model as on disk while a batch runs
    bool m_crlf = false;
    int m_batchDepth = 0;
};

} // namespace vantry
