#include "SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vantry {

namespace {

QString& overridePath()
{
    static QString path;
    return path;
}

} // namespace

QString settingsFilePath()
{
    if (!overridePath().isEmpty())
        return overridePath();
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vantry.ini"));
}

void setSettingsFilePath(const QString& path)
{
    overridePath() = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

} // namespace vantry
