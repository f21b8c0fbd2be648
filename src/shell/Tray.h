#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace vantry {

// The program's own picture: index 0 is the normal tray image, 1 its second animation image.
QPixmap trayImage(int index, int size);

// True where the desktop has a notification area to come back from. Without one, minimising
// must stay an ordinary minimise: a hidden window could never be brought back.
bool hideOnMinimise();

// Hot key and tray icon: a visible window is hidden; otherwise it is shown, restored
// from minimised and brought to the foreground.
void toggleWindow(QWidget* window);
// Shows the window, restoring it first if it is minimised; never hides it.
void showWindow(QWidget* window);

// The notification-area icon `TrayIcon` with its menu `PMTray` and its two images `TrayList`.
class Tray : public QObject
{
    Q_OBJECT
public:
    static constexpr int AnimationStepMs = 1000;
    static constexpr int ImageCount = 2;

    explicit Tray(QWidget* mainWindow, QObject* parent = nullptr);
    ~Tray() override;

    // The icon's activation as the desktop's tray reports it: a click or a double click.
    void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    // Toggles the main window.
    void TrayIconDblClick();
    void TrayShowClick();
    void TrayExitClick();

    // Cycles the images once a step, starting from the first.
    void startAnimation();
    // Stops the steps and sets the first image.
    void stopAnimation();
    bool animating() const;
    // One animation step: the next image, back to the first after the last.
    void animationStep();
    int imageIndex() const { return m_index; }
    const QIcon& image(int index) const { return m_images[index]; }

    // At log-off the icon goes at once, before the window closes.
    void remove();

    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* PMTray = nullptr;
    QAction* TrayShow = nullptr;
    QAction* TrayExit = nullptr;

private:
    void setImage(int index);

    QWidget* m_window;
    QIcon m_images[ImageCount];
    QTimer* m_animation = nullptr;
    int m_index = 0;
    QElapsedTimer m_sinceToggle;
};

// Installed on the main window: minimising hides it (and so its task-bar entry) while a
// notification area exists, and puts the state back to normal so that it shows normally.
class MinimiseToTray : public QObject
{
    Q_OBJECT
public:
    explicit MinimiseToTray(QWidget* window, std::function<bool()> trayAvailable = &hideOnMinimise);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void hideMinimised();

    QWidget* m_window;
    std::function<bool()> m_trayAvailable;
};

} // namespace vantry
