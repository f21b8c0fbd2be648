#include "SteamLibrary.h"

#include "KeyValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <array>
#include <string_view>

namespace vantry::launch {

namespace {

struct KnownGame
{
    int appId;
    int slot;
    QStringView title;
};

constexpr std::array<KnownGame, 5> Games{{
    {70, 0, u"Half-Life"},
    {10, 2, u"Counter-Strike"},
    {80, 3, u"Counter-Strike: Condition Zero"},
    {240, 4, u"Counter-Strike: Source"},
    {320, 5, u"Half-Life 2: Deathmatch"},
}};

struct Root
{
    QStringView relative; // to the home folder
    SteamClient client;
};

// In search order: a game installed in two places is started through the first.
constexpr std::array<Root, 9> Roots{{
    {u".steam/steam", SteamClient::Path},
    {u".steam/root", SteamClient::Path},
    {u".local/share/Steam", SteamClient::Path},
    {u".steam/debian-installation", SteamClient::Path},
    {u".steam", SteamClient::Path},
    {u"snap/steam/common/.local/share/Steam", SteamClient::Path},
    {u"snap/steam/common/.steam/steam", SteamClient::Path},
    {u".var/app/com.valvesoftware.Steam/.local/share/Steam", SteamClient::Flatpak},
    {u".var/app/com.valvesoftware.Steam/data/Steam", SteamClient::Flatpak},
}};

// Steam writes a few kilobytes; anything this large is not its file.
constexpr qint64 MaxFileSize = 1 << 20;
constexpr int MaxLibraries = 64;

struct Library
{
    QString apps; // its steamapps folder
    SteamClient client;
};

class Search
{
public:
    explicit Search(QString home) : m_home(std::move(home)) {}

    SteamFindings run()
    {
        for (const Root& root : Roots)
            readRoot(m_home + u'/' + root.relative.toString(), root.client);
        for (const KnownGame& game : Games)
            for (const Library& library : m_libraries)
                if (readManifest(library, game))
                    break;
        return std::move(m_findings);
    }

private:
    // steamapps, or SteamApps as clients of 2013 spelled it; empty when neither is a folder.
    static QString appsFolder(const QString& library)
    {
        for (const QString& name : {QStringLiteral("steamapps"), QStringLiteral("SteamApps")}) {
            const QString path = library + u'/' + name;
            if (QFileInfo(path).isDir())
                return path;
        }
        return {};
    }

    void readRoot(const QString& path, SteamClient client)
    {
        // ~/.steam/steam is usually a link to one of the other roots.
        const QString root = QFileInfo(path).canonicalFilePath();
        const QString apps = root.isEmpty() ? QString() : appsFolder(root);
        if (apps.isEmpty() || m_roots.contains(root))
            return;
        m_roots.insert(root);
        m_findings.steamFound = true;
        if (client == SteamClient::Flatpak)
            m_findings.flatpakFound = true;
        addLibrary(root, client);

        QString listPath = apps + QStringLiteral("/libraryfolders.vdf");
        if (!QFileInfo::exists(listPath))
            listPath = root + QStringLiteral("/config/libraryfolders.vdf");
        if (!QFileInfo::exists(listPath))
            return;
        const std::optional<vdf::Document> list = parseFile(listPath, QStringLiteral("library list"));
        if (!list)
            return;
        const vdf::Node* folders = vdf::find(list->pairs, "libraryfolders");
        if (!folders || !folders->isBlock) {
            problem(QStringLiteral("Steam's library list %1 names no libraries.").arg(listPath));
            return;
        }
        for (const vdf::Node& entry : folders->children) {
            if (!isNumber(entry.key))
                continue; // TimeNextStatsReport, ContentStatsID
            const vdf::Node* named = entry.isBlock ? vdf::find(entry.children, "path") : &entry;
            if (!named || named->isBlock || named->value.empty())
                continue;
            QString library = text(named->value);
            if (client == SteamClient::Flatpak)
                library = hostView(library, root);
            addLibrary(library, client);
        }
    }

    void addLibrary(const QString& path, SteamClient client)
    {
        if (m_libraries.size() >= MaxLibraries)
            return;
        // Canonical, so that a library reached through ~/.steam/steam and named again by its own
        // path is searched once and its games are shown where they really are.
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (canonical.isEmpty() || m_libraryPaths.contains(canonical))
            return; // a drive that is not mounted, a stale entry, or a library already searched
        const QString apps = appsFolder(canonical);
        if (apps.isEmpty())
            return;
        m_libraryPaths.insert(canonical);
        m_libraries.append({apps, client});
    }

    // Steam inside the Flatpak writes the paths it sees: its own root as ~/.local/share/Steam.
    QString hostView(const QString& path, const QString& root) const
    {
        const QString sandboxRoot = m_home + QStringLiteral("/.local/share/Steam");
        if (path == sandboxRoot || path.startsWith(sandboxRoot + u'/'))
            return root + path.mid(sandboxRoot.size());
        return path;
    }

    // True when the game is installed there and offered.
    bool readManifest(const Library& library, const KnownGame& game)
    {
        const QString path = library.apps + QStringLiteral("/appmanifest_%1.acf").arg(game.appId);
        if (!QFileInfo::exists(path))
            return false;
        const std::optional<vdf::Document> doc = parseFile(path, QStringLiteral("manifest"));
        if (!doc)
            return false;
        const vdf::Node* state = vdf::find(doc->pairs, "AppState");
        if (!state || !state->isBlock) {
            problem(QStringLiteral("Steam's manifest %1 is not an application manifest.").arg(path));
            return false;
        }
        const vdf::Node* flags = vdf::find(state->children, "StateFlags");
        bool number = false;
        const qulonglong bits = flags && !flags->isBlock ? text(flags->value).toULongLong(&number) : 0;
        if (!number || (bits & 4u) == 0)
            return false; // not (fully) installed: being downloaded, updated or removed
        const vdf::Node* dir = vdf::find(state->children, "installdir");
        const QString installDir = dir && !dir->isBlock ? text(dir->value) : QString();
        if (installDir.trimmed().isEmpty()) {
            problem(QStringLiteral("Steam's manifest %1 names no game folder (installdir).").arg(path));
            return false;
        }
        if (installDir.contains(u'/') || installDir == u"." || installDir == u"..") {
            problem(QStringLiteral("Steam's manifest %1 names a game folder outside its library: %2.")
                        .arg(path, installDir));
            return false;
        }
        const vdf::Node* name = vdf::find(state->children, "name");
        SteamCopy copy;
        copy.appId = game.appId;
        copy.name =
            name && !name->isBlock && !name->value.empty() ? text(name->value) : game.title.toString();
        copy.folder = library.apps + QStringLiteral("/common/") + installDir;
        copy.client = library.client;
        m_findings.copies.append(copy);
        return true;
    }

    std::optional<vdf::Document> parseFile(const QString& path, const QString& what)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            problem(QStringLiteral("Steam's %1 %2 cannot be read: %3.").arg(what, path, file.errorString()));
            return std::nullopt;
        }
        const QByteArray data = file.read(MaxFileSize + 1);
        if (file.error() != QFileDevice::NoError) {
            problem(QStringLiteral("Steam's %1 %2 cannot be read: %3.").arg(what, path, file.errorString()));
            return std::nullopt;
        }
        if (data.size() > MaxFileSize) {
            problem(QStringLiteral("Steam's %1 %2 is too large to be Steam's.").arg(what, path));
            return std::nullopt;
        }
        vdf::Document doc =
            vdf::parse(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
        if (doc.error != vdf::Error::None) {
            problem(QStringLiteral("Steam's %1 %2 is broken at line %3: %4.")
                        .arg(what, path)
                        .arg(doc.line)
                        .arg(QString::fromLatin1(vdf::describe(doc.error))));
            return std::nullopt;
        }
        return doc;
    }

    void problem(const QString& text)
    {
        if (!m_findings.problems.contains(text))
            m_findings.problems << text;
    }

    static bool isNumber(const std::string& key)
    {
        if (key.empty())
            return false;
        for (const char c : key)
            if (c < '0' || c > '9')
                return false;
        return true;
    }

    static QString text(const std::string& bytes)
    {
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }

    QString m_home;
    SteamFindings m_findings;
    QSet<QString> m_roots;
    QSet<QString> m_libraryPaths;
    QVector<Library> m_libraries;
};

} // namespace

int steamAppForSlot(int slot)
{
    for (const KnownGame& game : Games)
        if (game.slot == slot)
            return game.appId;
    return 0;
}

QString steamGameTitle(int appId)
{
    for (const KnownGame& game : Games)
        if (game.appId == appId)
            return game.title.toString();
    return {};
}

std::optional<SteamCopy> SteamFindings::copy(int appId) const
{
    for (const SteamCopy& c : copies)
        if (c.appId == appId)
            return c;
    return std::nullopt;
}

SteamFolders::SteamFolders(QString home) : m_home(std::move(home)) {}

SteamFindings SteamFolders::find() const
{
    QString home = m_home.isEmpty() ? QDir::homePath() : m_home;
    while (home.size() > 1 && home.endsWith(u'/'))
        home.chop(1);
    return Search(home).run();
}

} // namespace vantry::launch
