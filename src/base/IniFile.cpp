#include "IniFile.h"

#include "query/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <string>

namespace vantry {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(const QByteArray& bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.mid(begin, end - begin);
}

QString decoded(const QByteArray& bytes)
{
    const std::string utf8 = query::decodeText(bytes.toStdString());
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Names and values are single-line texts; a line break inside one would break the file.
QByteArray encodedLine(const QString& text)
{
    QString line = text;
    line.replace(u'\r', u' ').replace(u'\n', u' ');
    return line.toUtf8();
}

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

} // namespace

StoreWriteError::StoreWriteError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text)
{}

IniFile::IniFile(const QString& path, QVector<SecretKey> secrets)
    : m_path(QFileInfo(path).absoluteFilePath()), m_secrets(std::move(secrets))
{
    reload();
}

void IniFile::reload()
{
    QFile file(m_path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    m_model = parse(bytes, m_crlf);
}

IniFile::Model IniFile::parse(const QByteArray& input, bool& crlf)
{
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    crlf = false;
    Model model;
    model.append(Section{}); // lines before the first header
    const QList<QByteArray> rows = bytes.split('\n');
    for (qsizetype i = 0; i < rows.size(); ++i) {
        QByteArray raw = rows[i];
        if (i + 1 == rows.size() && raw.isEmpty())
            break; // the final line end
        if (raw.endsWith('\r')) {
            raw.chop(1);
            if (i == 0)
                crlf = true;
        }
        const QByteArray text = trimmedBlanks(raw);
        if (text.startsWith('[')) {
            qsizetype close = text.indexOf(']');
            Section section;
            section.hasHeader = true;
            section.name = decoded(trimmedBlanks(text.mid(1, close < 0 ? -1 : close - 1)));
            model.append(section);
            continue;
        }
        Line line;
        line.raw = raw;
        const qsizetype eq = text.indexOf('=');
        if (eq > 0 && !text.startsWith(';')) {
            const QByteArray name = trimmedBlanks(text.left(eq));
            if (!name.isEmpty()) {
                line.kind = LineKind::Key;
                line.name = decoded(name);
                line.value = trimmedBlanks(text.mid(eq + 1));
            }
        }
        model.last().lines.append(line);
    }
    return model;
}

QByteArray IniFile::serialize(const Model& model) const
{
    const QByteArray end = m_crlf ? QByteArray("\r\n") : QByteArray("\n");
    QByteArray out;
    for (const Section& section : model) {
        if (section.hasHeader)
            out += '[' + encodedLine(section.name) + ']' + end;
        for (const Line& line : section.lines)
            out += line.raw + end;
    }
    return out;
}

const IniFile::Line* IniFile::findKey(const QString& section, const QString& key) const
{
    for (const Section& s : m_model) {
        if (!s.hasHeader || !sameName(s.name, section))
            continue;
        for (const Line& line : s.lines) {
            if (line.kind == LineKind::Key && sameName(line.name, key))
                return &line;
        }
    }
    return nullptr;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& fallback) const
{
    const Line* line = findKey(section, key);
    return line ? valueText(*line) : fallback;
}

QString IniFile::valueText(const Line& line)
{
    QString value = decoded(line.value);
    if (value.size() > MaxValueLength) {
        qsizetype cut = MaxValueLength;
        if (value[cut - 1].isHighSurrogate())
            --cut;
        value.truncate(cut);
    }
    return value;
}

bool IniFile::parseInteger(const QString& input, int& value)
{
    QStringView text(input);
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text = text.mid(1);
    }
    std::int64_t result = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        text = text.mid(2);
    else if (text.size() > 1 && text[0] == u'$')
        text = text.mid(1);
    else {
        if (text.isEmpty())
            return false;
        for (QChar c : text) {
            if (c < u'0' || c > u'9')
                return false;
            result = result * 10 + (c.unicode() - u'0');
            if (result > 2147483648LL)
                return false;
        }
        if (negative)
            result = -result;
        if (result > 2147483647LL)
            return false;
        value = static_cast<int>(result);
        return true;
    }
    // Hexadecimal: up to 32 bits, taken as a signed 32-bit value as the platform does.
    for (QChar c : text) {
        const int digit = hexDigit(c);
        if (digit < 0)
            return false;
        result = result * 16 + digit;
        if (result > 0xFFFFFFFFLL)
            return false;
    }
    auto bits = static_cast<std::uint32_t>(result);
    if (negative)
        bits = 0u - bits;
    value = static_cast<int>(bits);
    return true;
}

int IniFile::readInteger(const QString& section, const QString& key, int fallback) const
{
    int value = 0;
    return parseInteger(readString(section, key, QString()), value) ? value : fallback;
}

bool IniFile::readBool(const QString& section, const QString& key, bool fallback) const
{
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

QVector<QPair<QString, QString>> IniFile::entries(const QString& section) const
{
    QVector<QPair<QString, QString>> result;
    for (const Section& s : m_model) {
        if (!s.hasHeader || !sameName(s.name, section))
            continue;
        for (const Line& line : s.lines) {
            if (line.kind == LineKind::Key)
                result.append({line.name, valueText(line)});
        }
    }
    return result;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList result;
    for (const Section& s : m_model) {
        if (!s.hasHeader || !sameName(s.name, section))
            continue;
        for (const Line& line : s.lines) {
            if (line.kind == LineKind::Key)
                result.append(line.name);
        }
    }
    return result;
}

bool IniFile::sectionExists(const QString& section) const
{
    for (const Section& s : m_model) {
        if (!s.hasHeader || !sameName(s.name, section))
            continue;
        for (const Line& line : s.lines) {
            if (line.kind == LineKind::Key)
                return true;
        }
    }
    return false;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    Line line;
    line.kind = LineKind::Key;
    line.name = key;
    line.value = trimmedBlanks(encodedLine(value));
    line.raw = encodedLine(key) + '=' + encodedLine(value);
    change([&](Model& model) {
        Section* target = nullptr;
        for (Section& s : model) {
            if (!s.hasHeader || !sameName(s.name, section))
                continue;
            if (!target)
                target = &s;
            for (Line& old : s.lines) {
                if (old.kind == LineKind::Key && sameName(old.name, key)) {
                    old = line;
                    return;
                }
            }
        }
        if (!target) {
            Section added;
            added.hasHeader = true;
            added.name = section;
            model.append(added);
            target = &model.last();
        }
        // After the section's last non-blank line, so that blank lines keep separating sections.
        qsizetype at = target->lines.size();
        while (at > 0 && target->lines[at - 1].kind == LineKind::Other &&
               trimmedBlanks(target->lines[at - 1].raw).isEmpty())
            --at;
        target->lines.insert(at, line);
    });
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::eraseSection(const QString& section)
{
    const auto matches = [&](const Section& s) { return s.hasHeader && sameName(s.name, section); };
    if (std::none_of(m_model.begin(), m_model.end(), matches))
        return;
    change([&](Model& model) { model.removeIf(matches); });
}

void IniFile::change(const std::function<void(Model&)>& edit)
{
    if (m_batchDepth > 0) {
        edit(m_model); // the batch's snapshot restores the model when the batch fails
        return;
    }
    Model changed = m_model;
    edit(changed);
    persist(changed);
    m_model = std::move(changed);
}

bool IniFile::holdsSecret(const Model& model) const
{
    for (const SecretKey& secret : m_secrets) {
        for (const Section& section : model) {
            if (!section.hasHeader || !sameName(section.name, secret.section))
                continue;
            for (const Line& line : section.lines)
                if (line.kind == LineKind::Key && sameName(line.name, secret.key) && !line.value.isEmpty())
                    return true;
        }
    }
    return false;
}

QString IniFile::writeErrorText() const
{
    return QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(m_path));
}

void IniFile::persist(const Model& model) const
{
    const QFileInfo info(m_path);
    const bool existed = info.exists();
    // The rename would replace a file that the user made read-only; refuse as the platform would.
    if (existed && !info.isWritable())
        throw StoreWriteError(writeErrorText());
    QSaveFile file(m_path);
    // Unbuffered, so that a short write (disk full) is seen here rather than lost in a flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw StoreWriteError(writeErrorText());
    const QByteArray bytes = serialize(model);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        throw StoreWriteError(writeErrorText());
    }
    // A new file, and any file that holds a server password or a Web API key, is for the owner's
    // eyes only; the rename would otherwise keep the wider rights of the file it replaces.
    if ((!existed || holdsSecret(model)) &&
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        throw StoreWriteError(writeErrorText());
    }
    if (!file.commit())
        throw StoreWriteError(writeErrorText());
}

IniFile::Batch::Batch(IniFile& file) : m_file(file)
{
    if (m_file.m_batchDepth++ == 0)
        m_file.m_snapshot = m_file.m_model;
}

IniFile::Batch::~Batch()
{
    if (m_done)
        return;
    if (--m_file.m_batchDepth == 0)
        m_file.m_model = m_file.m_snapshot;
}

void IniFile::Batch::commit()
{
    if (m_done)
        return;
    m_done = true;
    if (--m_file.m_batchDepth > 0)
        return;
    try {
        m_file.persist(m_file.m_model);
    } catch (...) {
        m_file.m_model = m_file.m_snapshot;
        throw;
    }
}

} // namespace vantry
