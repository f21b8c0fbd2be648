#include "LaunchWrappers.h"

#include "base/IniFile.h"

namespace vantry::options {

namespace {

const QString Section = QStringLiteral("Launch");
const QString ClientsSection = QStringLiteral("Clients");
const QString XashKey = QStringLiteral("Xash3D");

QString wrapperKey(int slot)
{
    return QStringLiteral("Wrapper%1").arg(slot);
}

} // namespace

LaunchWrapperList loadLaunchWrappers(const IniFile& file)
{
    LaunchWrapperList wrappers;
    for (int slot = 0; slot < GameSlotCount; ++slot)
        wrappers[static_cast<std::size_t>(slot)] =
            file.readString(Section, wrapperKey(slot), QString()).trimmed();
    return wrappers;
}

void writeLaunchWrappers(IniFile& file, const LaunchWrapperList& wrappers)
{
    bool any = false;
    for (const QString& wrapper : wrappers)
        any = any || !wrapper.trimmed().isEmpty();
    if (!any && !file.sectionExists(Section))
        return;
    IniFile::Batch batch(file);
    file.eraseSection(Section);
    for (int slot = 0; slot < GameSlotCount; ++slot)
        if (const QString wrapper = wrappers[static_cast<std::size_t>(slot)].trimmed(); !wrapper.isEmpty())
            file.writeString(Section, wrapperKey(slot), wrapper);
    batch.commit();
}

QString loadXashClient(const IniFile& file)
{
    return file.readString(ClientsSection, XashKey, QString()).trimmed();
}

void writeXashClient(IniFile& file, const QString& client)
{
    const QString path = client.trimmed();
    if (path.isEmpty() && !file.sectionExists(ClientsSection))
        return;
    IniFile::Batch batch(file);
    file.eraseSection(ClientsSection);
    if (!path.isEmpty())
        file.writeString(ClientsSection, XashKey, path);
    batch.commit();
}

} // namespace vantry::options
