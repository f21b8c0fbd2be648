#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace vantry {
class IniFile;
}

namespace vantry::options {

// The community masters of the open GoldSrc-compatible engine and its static HTTP list (section
// "Xash"): no key needed. On for a settings file that does not exist yet; a file written before
// the section existed keeps the source off, as it was.
struct XashSource
{
    bool enabled = false;
    QStringList masters; // "host:port", in the user's order
    QString listUrl;     // base of <url>/v1/servers/<gamedir>; empty: not asked
    bool operator==(const XashSource&) const = default;
};

// The project's own masters, preset for a new settings file.
QStringList xashPresetMasters();
inline constexpr std::uint16_t DefaultXashMasterPort = 27010;

// The public server lists that a sweep asks before it probes (section "Master"). Off by default:
// a user who never ticks it sees no change.
struct MasterSource
{
    MasterSource();

    bool enabled = false;
    // The user's Steam Web API key: a secret, shown in no text and written to no log.
    QString steamKey;
    QString apiUrl;      // the Web API's base address, the public one unless the file says otherwise
    QStringList masters; // UDP masters, "host:port", in the user's order
    int region = 0xFF;   // the region byte of the masters' requests
    // Least time between two requests to one master. Only the file sets it: public masters answer
    // a few requests a minute, a master of one's own may allow more.
    int paceMs = 3000;
    XashSource xash;

    // Whether a sweep asks any list: the Steam list and UDP masters, or the community masters.
    bool listsOn() const { return enabled || xash.enabled; }
};

inline constexpr std::uint16_t DefaultMasterPort = 27011;
inline constexpr int MaxMasterPaceMs = 600'000;

// The region codes the dialog offers, in its order: every region first.
inline constexpr std::array<int, 9> MasterRegions = {0xFF, 0, 1, 2, 3, 4, 5, 6, 7};

struct MasterEntry
{
    QString host; // a dotted IPv4 address or a host name
    std::uint16_t port = DefaultMasterPort;
    QString text() const { return host + u':' + QString::number(port); }
};

// "host:port", or a host alone for the usual master port; blanks around it are ignored. None for
// anything that is not an IPv4 address or a host name, or a port outside 1..65535.
std::optional<MasterEntry> parseMasterEntry(const QString& text,
                                            std::uint16_t defaultPort = DefaultMasterPort);

// Why a typed master is refused; empty when it may be added.
QString newMasterError(const QString& text, const QStringList& masters,
                       std::uint16_t defaultPort = DefaultMasterPort);

// What the file holds; what cannot be read takes its default. Section "Xash" without its
// "Enabled" key, or no file at all, turns the community lists on.
MasterSource loadMasterSource(const IniFile& file);
// Erases section "Master" and writes it again, at the end of the file, then section "Xash" unless
// it holds what a file without it reads as; inside the caller's batch when there is one.
void writeMasterSource(IniFile& file, const MasterSource& source);

} // namespace vantry::options
