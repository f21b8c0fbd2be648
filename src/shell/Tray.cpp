#include "Tray.h"

#include "base/AppInfo.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <cmath>

namespace vantry {

namespace {

// Drawn on a 16-unit grid and scaled, so the picture stays the same at 16 and 32 pixels.
void drawRadar(QPainter& p, int index)
{
    const QColor rim(0x1f, 0x3a, 0x1f);
    const QColor screen = index == 0 ? QColor(0x1d, 0x6b, 0x2c) : QColor(0x27, 0x8f, 0x3a);
    const QColor ring(0x8f, 0xe0, 0x8f);
    const QColor beam = index == 0 ? QColor(0xd8, 0xff, 0xc8) : QColor(0xff, 0xf0, 0x60);

    p.setPen(QPen(rim, 1.2));
    p.setBrush(screen);
    p.drawEllipse(QRectF(0.8, 0.8, 14.4, 14.4));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ring, 0.7));
    p.drawEllipse(QPointF(8, 8), 4.4, 4.4);
    p.drawLine(QPointF(8, 2), QPointF(8, 14));
    p.drawLine(QPointF(2, 8), QPointF(14, 8));

    // The beam points up-right in the first image and down-right in the second.
    const double angle = index == 0 ? -M_PI / 4 : M_PI / 4;
    p.setPen(QPen(beam, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(8 + 6.4 * std::cos(angle), 8 + 6.4 * std::sin(angle)));
    if (index == 1) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xff, 0x50, 0x40));
        p.drawEllipse(QPointF(4.8, 5.2), 1.5, 1.5); // a server found
    }
}

} // namespace

QPixmap trayImage(int index, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    drawRadar(p, index == 1 ? 1 : 0);
    return pixmap;
}

bool hideOnMinimise()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void toggleWindow(QWidget* window)
{
    if (window->isVisible()) {
        window->hide();
        return;
    }
    window->show();
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

void showWindow(QWidget* window)
{
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

Tray::Tray(QWidget* mainWindow, QObject* parent) : QObject(parent), m_window(mainWindow)
{
    for (int i = 0; i < ImageCount; ++i) {
        m_images[i].addPixmap(trayImage(i, 16));
        m_images[i].addPixmap(trayImage(i, 32));
    }

    PMTray = new QMenu;
    TrayShow = PMTray->addAction(tr("Показать  (Shift+Alt+S)"), this, [this] { TrayShowClick(); });
    TrayExit = PMTray->addAction(tr("Выход"), this, [this] { TrayExitClick(); });

    TrayIcon = new QSystemTrayIcon(this);
    TrayIcon->setToolTip(productName());
    TrayIcon->setContextMenu(PMTray);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &Tray::TrayIconActivated);

    m_animation = new QTimer(this);
    m_animation->setInterval(AnimationStepMs);
    connect(m_animation, &QTimer::timeout, this, &Tray::animationStep);

    setImage(0);
    TrayIcon->show();
}

Tray::~Tray()
{
    // A menu without a parent: the icon may go before or after the main window.
    delete PMTray;
}

void Tray::TrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
        return;
    // Trays that speak StatusNotifierItem report one activation and never a double click; an
    // XEmbed tray reports a double click as a Trigger at each press and then a DoubleClick. One
    // gesture toggles once: what comes within a double-click interval of a toggle belongs to it.
    if (m_sinceToggle.isValid() &&
        m_sinceToggle.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval())
        return;
    TrayIconDblClick();
    // Counted from the end of the toggle: showing a window can take longer than the interval.
    m_sinceToggle.start();
}

void Tray::TrayIconDblClick()
{
    toggleWindow(m_window);
}

void Tray::TrayShowClick()
{
    showWindow(m_window);
}

void Tray::TrayExitClick()
{
    m_window->close();
}

void Tray::startAnimation()
{
    setImage(0);
    m_animation->start();
}

void Tray::stopAnimation()
{
    m_animation->stop();
    setImage(0);
}

bool Tray::animating() const
{
    return m_animation->isActive();
}

void Tray::animationStep()
{
    setImage((m_index + 1) % ImageCount);
}

void Tray::remove()
{
    m_animation->stop();
    TrayIcon->hide();
}

void Tray::setImage(int index)
{
    m_index = index;
    TrayIcon->setIcon(m_images[index]);
}

MinimiseToTray::MinimiseToTray(QWidget* window, std::function<bool()> trayAvailable)
    : QObject(window), m_window(window), m_trayAvailable(std::move(trayAvailable))
{
    window->installEventFilter(this);
}

bool MinimiseToTray::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::WindowStateChange && m_window->isMinimized() &&
        m_trayAvailable()) {
        // Not inside the state change itself: the platform window is still being minimised.
        QTimer::singleShot(0, this, &MinimiseToTray::hideMinimised);
    }
    return QObject::eventFilter(watched, event);
}

void MinimiseToTray::hideMinimised()
{
    if (!m_window->isMinimized())
        return;
    // Hidden first, so that putting the state back does not flash the window on the screen.
    m_window->hide();
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
}

} // namespace vantry
