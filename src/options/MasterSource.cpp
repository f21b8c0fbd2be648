#include "MasterSource.h"

#include "base/IniFile.h"
#include "net/GetServerList.h"
#include "options/SettingsTable.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace vantry::options {

namespace st = vantry::settings;

namespace {

// More masters than anyone asks; a hand-edited count beyond it is not followed.
constexpr int MaxStoredMasters = 256;

const QString XashSection = QStringLiteral("Xash");
const QString XashEnabledKey = QStringLiteral("Enabled");
const QString XashListUrlKey = QStringLiteral("ListUrl");

// A file that does not exist yet, or holds nothing: the program has never written it.
bool newFile(const IniFile& file)
{
    const QFileInfo info(file.path());
    return !info.exists() || info.size() == 0;
}

QStringList readMasterRows(const IniFile& file, const QString& section, const QStringList& fallback)
{
    const int stored = file.readInteger(section, st::MastersCountKey.toString(), -1);
    if (stored < 0)
        return fallback;
    QStringList out;
    for (int row = 0; row < std::min(stored, MaxStoredMasters); ++row) {
        // A row the count names but the file lost is no master; the count is rewritten at exit.
        const QString master = file.readString(section, st::masterKey(row), QString()).trimmed();
        if (!master.isEmpty())
            out.append(master);
    }
    return out;
}

void writeMasterRows(IniFile& file, const QString& section, const QStringList& masters)
{
    file.writeInteger(section, st::MastersCountKey.toString(), static_cast<int>(masters.size()));
    for (int row = 0; row < masters.size(); ++row)
        file.writeString(section, st::masterKey(row), masters[row]);
}

bool knownRegion(int code)
{
    return std::find(MasterRegions.begin(), MasterRegions.end(), code) != MasterRegions.end();
}

} // namespace

MasterSource::MasterSource() : apiUrl(QString::fromLatin1(net::DefaultSteamApiUrl)) {}

QStringList xashPresetMasters()
{
    return {QStringLiteral("mentality.rip:27010"), QStringLiteral("ms2.mentality.rip:27010"),
            QStringLiteral("ms3.mentality.rip:27010")};
}

std::optional<MasterEntry> parseMasterEntry(const QString& text, std::uint16_t defaultPort)
{
    // A host name's labels, or four numbers that must then be a dotted address.
    static const QRegularExpression hostPattern(
        QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    static const QRegularExpression numbersOnly(QStringLiteral("^[0-9.]+$"));
    const QString trimmed = text.trimmed();
    const qsizetype colon = trimmed.lastIndexOf(u':');
    MasterEntry entry;
    entry.port = defaultPort;
    entry.host = colon < 0 ? trimmed : trimmed.left(colon);
    if (entry.host.isEmpty() || entry.host.size() > 253 || !hostPattern.match(entry.host).hasMatch())
        return std::nullopt;
    if (numbersOnly.match(entry.host).hasMatch()) {
        const QStringList octets = entry.host.split(u'.');
        if (octets.size() != 4)
            return std::nullopt;
        for (const QString& octet : octets)
            if (octet.size() > 3 || octet.toInt() > 255)
                return std::nullopt;
        if (octets.front().toInt() == 0)
            return std::nullopt;
    }
    if (colon >= 0) {
        const QString port = trimmed.mid(colon + 1);
        bool ok = false;
        const int value = port.toInt(&ok);
        if (!ok || port.size() > 5 || !port.front().isDigit() || value < 1 || value > 65535)
            return std::nullopt;
        entry.port = static_cast<std::uint16_t>(value);
    }
    return entry;
}

QString newMasterError(const QString& text, const QStringList& masters, std::uint16_t defaultPort)
{
    const std::optional<MasterEntry> entry = parseMasterEntry(text, defaultPort);
    if (!entry)
        return QStringLiteral("Incorrect master server: use host:port");
    for (const QString& listed : masters)
        if (listed.compare(entry->text(), Qt::CaseInsensitive) == 0)
            return QStringLiteral("This master server is already in the list");
    return {};
}

MasterSource loadMasterSource(const IniFile& file)
{
    using st::Key;
    MasterSource s;
    s.enabled = st::readBool(file, Key::MasterEnabled);
    s.steamKey = st::readText(file, Key::SteamKey);
    if (const QString url = st::readText(file, Key::ApiUrl).trimmed(); !url.isEmpty())
        s.apiUrl = url;
    if (const int region = st::readInteger(file, Key::Region); knownRegion(region))
        s.region = region;
    s.paceMs = std::clamp(st::readInteger(file, Key::Pace), 0, MaxMasterPaceMs);
    s.masters = readMasterRows(file, st::SectionMaster.toString(), {});
    const bool section = file.sectionExists(XashSection);
    s.xash.enabled = file.readBool(XashSection, XashEnabledKey, section || newFile(file));
    s.xash.masters = readMasterRows(file, XashSection, xashPresetMasters());
    s.xash.listUrl = file.readString(XashSection, XashListUrlKey, QString()).trimmed();
    return s;
}

void writeMasterSource(IniFile& file, const MasterSource& s)
{
    using st::Key;
    IniFile::Batch batch(file);
    const QString section = st::SectionMaster.toString();
    file.eraseSection(section);
    st::writeBool(file, Key::MasterEnabled, s.enabled);
    st::write(file, Key::SteamKey, s.steamKey);
    st::write(file, Key::ApiUrl, s.apiUrl);
    st::write(file, Key::Region, s.region);
    st::write(file, Key::Pace, s.paceMs);
    writeMasterRows(file, section, s.masters);
    file.eraseSection(XashSection);
    // What a file without the section reads as is not written: an older file keeps its bytes.
    if (s.xash != XashSource{false, xashPresetMasters(), QString()}) {
        file.writeBool(XashSection, XashEnabledKey, s.xash.enabled);
        writeMasterRows(file, XashSection, s.xash.masters);
        file.writeString(XashSection, XashListUrlKey, s.xash.listUrl);
    }
    batch.commit();
}

} // namespace vantry::options
