#include "SteamFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantry::test {

SteamHome::SteamHome()
{
    QDir().mkpath(home());
}

QString SteamHome::root(const QString& relative) const
{
    const QString path = home() + u'/' + relative;
    QDir().mkpath(path + QStringLiteral("/steamapps"));
    return path;
}

QString SteamHome::library(const QString& name) const
{
    const QString path = m_dir.path() + QStringLiteral("/drives/") + name;
    QDir().mkpath(path + QStringLiteral("/steamapps"));
    return path;
}

void SteamHome::writeList(const QString& root, const QString& layout, const QString& library) const
{
    QByteArray text = data(layout);
    text.replace("@ROOT@", root.toUtf8()).replace("@LIBRARY@", library.toUtf8());
    write(root + QStringLiteral("/steamapps/libraryfolders.vdf"), text);
}

void SteamHome::writeManifest(const QString& library, int appId, const QString& installDir,
                              const QString& flags, const QString& name) const
{
    QByteArray text = data(QStringLiteral("appmanifest.acf"));
    text.replace("@APPID@", QByteArray::number(appId))
        .replace("@NAME@", name.toUtf8())
        .replace("@FLAGS@", flags.toUtf8())
        .replace("@DIR@", installDir.toUtf8());
    write(library + QStringLiteral("/steamapps/appmanifest_%1.acf").arg(appId), text);
    QDir().mkpath(library + QStringLiteral("/steamapps/common/") + installDir);
}

void SteamHome::write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray SteamHome::data(const QString& name)
{
    QFile file(QStringLiteral(VANTRY_STEAM_DATA) + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

PathOverride::PathOverride(const QString& folders) : m_saved(qgetenv("PATH"))
{
    qputenv("PATH", folders.toLocal8Bit());
}

PathOverride::~PathOverride()
{
    qputenv("PATH", m_saved);
}

} // namespace vantry::test
