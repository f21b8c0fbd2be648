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
std::optional<MasterEntry> parseMasterEntry(const QString& text);

// Why a typed master is refused; empty when it may be added.
QString newMasterError(const QString& text, const QStringList& masters);

// What the file holds; what cannot be read takes its default.
MasterSource loadMasterSource(const IniFile& file);
// Erases section "Master" and writes it again, at the end of the file; inside the caller's batch
// when there is one.
void writeMasterSource(IniFile& file, const MasterSource& source);

} // namespace vantry::options
