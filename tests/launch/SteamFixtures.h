#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vantry::test {

// A home folder in a temporary directory with Steam's folders in it, built from the files in
// tests/data/steam.
class SteamHome
{
public:
    SteamHome();

    QString home() const { return m_dir.path() + QStringLiteral("/home"); }
    // A Steam root (with its steamapps folder) at home/relative; returns its full path.
    QString root(const QString& relative) const;
    // A library folder outside the home, as on a second drive; returns its full path.
    QString library(const QString& name) const;
    // Writes steamapps/libraryfolders.vdf of a root from a layout file of tests/data/steam
    // ("libraryfolders-old.vdf" or "-new.vdf") naming one further library.
    void writeList(const QString& root, const QString& layout, const QString& library) const;
    // Writes steamapps/appmanifest_<id>.acf of a library.
    void writeManifest(const QString& library, int appId, const QString& installDir,
                       const QString& flags = QStringLiteral("4"),
                       const QString& name = QStringLiteral("Counter-Strike: Source")) const;
    static void write(const QString& path, const QByteArray& bytes);
    static QByteArray data(const QString& name);

private:
    QTemporaryDir m_dir;
};

// Sets PATH for the life of the object: the given folders only, so that a `wine` or `steam` of
// the machine cannot answer in place of a stand-in.
class PathOverride
{
public:
    explicit PathOverride(const QString& folders);
    ~PathOverride();
    PathOverride(const PathOverride&) = delete;
    PathOverride& operator=(const PathOverride&) = delete;

private:
    QByteArray m_saved;
};

} // namespace vantry::test
