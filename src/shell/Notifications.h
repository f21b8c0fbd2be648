#pragma once

#include "query/Endpoint.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

namespace vantry {
class Notifier;
}
namespace vantry::launch {
class AutoConnect;
}
namespace vantry::browser {
class PlayerWatch;
}

namespace vantry {

// What happens while the main window is hidden, told by desktop notifications: auto-connect
// joining or giving up, a watched player appearing. Nothing is told while the window shows.
class Notifications : public QObject
{
    Q_OBJECT
public:
    Notifications(QWidget& window, Notifier& notifier, QObject* parent = nullptr);

    void watch(launch::AutoConnect& autoConnect);
    void watch(browser::PlayerWatch& players);

    static QString joiningText(const query::Endpoint& server, int players);
    static QString gaveUpText(const query::Endpoint& server);
    static QString appearedText(const QString& player, const QString& serverName,
                                const query::Endpoint& server);

private:
    void tell(const QString& title, const QString& text);

    QWidget& m_window;
    Notifier& m_notifier;
};

// Ticks while the window is hidden: soon after it hides, then at every interval (read at each
// tick), until it shows. The favourites are watched this way, as their re-scan stops when the
// window hides.
class HiddenTicker : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstTickMs = 200;

    HiddenTicker(QWidget& window, std::function<int()> intervalMs, QObject* parent = nullptr);

signals:
    void tick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    std::function<int()> m_intervalMs;
    QTimer m_timer;
};

} // namespace vantry
