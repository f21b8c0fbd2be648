#include "DesktopNotifier.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace vantry {

DesktopNotifier::DesktopNotifier(Fallback fallback, QDBusConnection bus)
    : m_fallback(std::move(fallback)), m_bus(std::move(bus))
{}

void DesktopNotifier::notify(const QString& title, const QString& text)
{
    const QString service = QString::fromLatin1(Service);
    QDBusConnectionInterface* names = m_bus.isConnected() ? m_bus.interface() : nullptr;
    if (!names || !names->isServiceRegistered(service).value()) {
        if (m_fallback)
            m_fallback(title, text);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QString::fromLatin1(Path), service, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    call << QStringLiteral("Vantry") << 0u << QStringLiteral("vantry") << title << text << QStringList()
         << QVariantMap() << -1;
    // Not awaited: a slow notification service must not hold the window.
    m_bus.asyncCall(call);
}

} // namespace vantry
