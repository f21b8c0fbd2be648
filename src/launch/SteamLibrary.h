#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace vantry::launch {

// Steam's application number of a game slot's game; 0 for a slot Steam does not sell (CS 1.5)
// and for a slot outside 0..5.
int steamAppForSlot(int slot);
// "Counter-Strike: Source" and so on for the five application numbers; empty for others.
QString steamGameTitle(int appId);

// How an installation of Steam is started.
enum class SteamClient
{
    Path,    // the `steam` program on PATH: Valve's package, Debian's, the Snap
    Flatpak, // flatpak run com.valvesoftware.Steam
};

// An installed copy of one of the five games.
struct SteamCopy
{
    int appId = 0;
    QString name;   // the manifest's name, or the known title when it has none
    QString folder; // <library>/steamapps/common/<installdir>
    SteamClient client = SteamClient::Path;
};

struct SteamFindings
{
    bool steamFound = false;   // some Steam folder exists under the home
    bool flatpakFound = false; // the Flatpak's Steam folder among them
    // At most one copy per game: the first installation in search order that has it installed.
    QVector<SteamCopy> copies;
    // Files that stood in the way, one English sentence each.
    QStringList problems;

    std::optional<SteamCopy> copy(int appId) const;
};

// What Steam has installed of the five games. Tests replace it.
class SteamLibrary
{
public:
    virtual ~SteamLibrary() = default;
    virtual SteamFindings find() const = 0;
};

// Reads the Steam folders under a home folder: Valve's package (~/.steam/steam, ~/.steam/root,
// ~/.local/share/Steam), Debian's (~/.steam/debian-installation, older ones ~/.steam), the Snap
// (~/snap/steam/common/.local/share/Steam) and the Flatpak (~/.var/app/com.valvesoftware.Steam/
// .local/share/Steam, older ones .../data/Steam). Each one's library list (steamapps/
// libraryfolders.vdf, or config/libraryfolders.vdf; both layouts) names further libraries, whose
// manifests steamapps/appmanifest_<id>.acf say whether a game is installed (StateFlags bit 4)
// and in which folder (installdir). Reads are bounded; broken or unreadable files become problems.
class SteamFolders final : public SteamLibrary
{
public:
    // An empty home means the user's home at each search.
    explicit SteamFolders(QString home = {});
    SteamFindings find() const override;

private:
    QString m_home;
};

} // namespace vantry::launch
