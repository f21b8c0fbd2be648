#include "Notifications.h"

#include "base/Notifier.h"
#include "browser/PlayerWatch.h"
#include "launch/AutoConnect.h"

#include <QEvent>
#include <QWidget>

namespace vantry {

namespace {

QString where(const query::Endpoint& server)
{
    return QString::fromStdString(query::endpointText(server));
}

} // namespace

Notifications::Notifications(QWidget& window, Notifier& notifier, QObject* parent)
    : QObject(parent), m_window(window), m_notifier(notifier)
{}

void Notifications::watch(launch::AutoConnect& autoConnect)
{
    connect(&autoConnect, &launch::AutoConnect::joining, this,
            [this](const query::Endpoint& server, int players) {
                tell(QStringLiteral("Auto connect"), joiningText(server, players));
            });
    connect(&autoConnect, &launch::AutoConnect::gaveUp, this, [this](const query::Endpoint& server) {
        tell(QStringLiteral("Auto connect"), gaveUpText(server));
    });
}

void Notifications::watch(browser::PlayerWatch& players)
{
    connect(&players, &browser::PlayerWatch::appeared, this,
            [this](const QString& player, const QString& serverName, const query::Endpoint& server) {
                tell(QStringLiteral("Vantry"), appearedText(player, serverName, server));
            });
}

QString Notifications::joiningText(const query::Endpoint& server, int players)
{
    return QStringLiteral("Joining %1, %2 players now.").arg(where(server)).arg(players);
}

QString Notifications::gaveUpText(const query::Endpoint& server)
{
    return QStringLiteral("Server %1 is not available, autoconnect disabled.").arg(where(server));
}

QString Notifications::appearedText(const QString& player, const QString& serverName,
                                    const query::Endpoint& server)
{
    if (serverName.isEmpty())
        return QStringLiteral("%1 is on %2.").arg(player, where(server));
    return QStringLiteral("%1 is on %2 (%3).").arg(player, serverName, where(server));
}

HiddenTicker::HiddenTicker(QWidget& window, std::function<int()> intervalMs, QObject* parent)
    : QObject(parent), m_window(window), m_intervalMs(std::move(intervalMs))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_window.isVisible())
            return;
        m_timer.start(m_intervalMs());
        emit tick();
    });
    m_window.installEventFilter(this);
}

bool HiddenTicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window) {
        if (event->type() == QEvent::Hide)
            m_timer.start(FirstTickMs);
        else if (event->type() == QEvent::Show)
            m_timer.stop();
    }
    return QObject::eventFilter(watched, event);
}

void Notifications::tell(const QString& title, const QString& text)
{
    if (!m_window.isVisible())
        m_notifier.notify(title, text);
}

} // namespace vantry
