#include "SettingsFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace vantry {

namespace {

QString& overridePath()
{
    static QString path;
    return path;
}

struct DefaultLocation
{
    std::optional<SettingsPlaces> places; // none: this process's
    std::optional<SettingsLocation> decided;
};

DefaultLocation& defaultLocation()
{
    static DefaultLocation location;
    return location;
}

const SettingsLocation& decidedLocation()
{
    DefaultLocation& d = defaultLocation();
    if (!d.decided) {
        const SettingsPlaces places =
            d.places ? *d.places
                     : currentSettingsPlaces(
                           QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
        d.decided = locateSettingsFile(places);
    }
    return *d.decided;
}

} // namespace

QString settingsFilePath()
{
    if (!overridePath().isEmpty())
        return overridePath();
    return QFile::decodeName(QByteArray::fromStdString(decidedLocation().file.string()));
}

QString settingsFileProblem()
{
    if (!overridePath().isEmpty())
        return {};
    return QString::fromStdString(decidedLocation().problem);
}

void setSettingsPlaces(const SettingsPlaces& places)
{
    defaultLocation() = DefaultLocation{places, std::nullopt};
}

void setSettingsFilePath(const QString& path)
{
    overridePath() = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

} // namespace vantry
