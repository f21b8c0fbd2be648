#include "CliSettings.h"

#include "CliArguments.h"
#include "base/IniFile.h"
#include "options/SettingsTable.h"

#include <QFileInfo>

namespace vantry::cli {

std::optional<SettingsDefaults> readSettingsDefaults(const std::string& path, std::string& error)
{
    const QString file = QString::fromLocal8Bit(path.c_str());
    const QFileInfo info(file);
    if (!info.isFile() || !info.isReadable()) {
        error = "cannot read the settings file '" + path + "'";
        return std::nullopt;
    }
    const IniFile ini(file);
    SettingsDefaults out;
    const QString portText = settings::readText(ini, settings::Key::CSPort).trimmed();
    const auto port = parseNumber(portText.toStdString(), 1, 65535);
    if (!port) {
        error = "the settings file '" + path + "' holds no usable game port (CSPort '" +
                portText.toStdString() + "')";
        return std::nullopt;
    }
    out.port = static_cast<std::uint16_t>(*port);
    const int delay = settings::readInteger(ini, settings::Key::Delay);
    if (delay < 0 || delay > MaxDelayMs) {
        error = "the settings file '" + path + "' holds a delay out of 0 to " + std::to_string(MaxDelayMs) +
                " (Delay " + std::to_string(delay) + ")";
        return std::nullopt;
    }
    out.delayMs = delay;
    return out;
}

} // namespace vantry::cli
