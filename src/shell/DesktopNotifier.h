#pragma once

#include "base/Notifier.h"

#include <QDBusConnection>

#include <functional>

namespace vantry {

// Notifications through the desktop's notification service on the session bus; where no
// service is registered, through the fallback (the tray icon's message balloon).
class DesktopNotifier : public Notifier
{
public:
    static constexpr const char* Service = "org.freedesktop.Notifications";
    static constexpr const char* Path = "/org/freedesktop/Notifications";

    using Fallback = std::function<void(const QString& title, const QString& text)>;

    explicit DesktopNotifier(Fallback fallback, QDBusConnection bus = QDBusConnection::sessionBus());

    void notify(const QString& title, const QString& text) override;

private:
    Fallback m_fallback;
    QDBusConnection m_bus;
};

} // namespace vantry
