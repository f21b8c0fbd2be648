// How the main window goes away and comes back: to the tray where the desktop has one, to the task
// bar where it has none.
#include "ScanGames.h"
#include "Tray.h"

#include <QEvent>

#include <utility>

namespace vantry {

void TForm1::hideWindow()
{
    m_hiddenByProgram = true;
    if (m_trayAvailable ? m_trayAvailable() : hideOnMinimise()) {
        hide();
        return;
    }
    // Without a tray a hidden window has no way back but the hot key.
    showMinimized();
    // Said once a run, in the status bar: a box would stand over the game just started, and a
    // note kept in the settings file would stay silent after a move to a desktop without a tray.
    if (!std::exchange(m_minimiseSaid, true))
        setStatusText(2, tr(" Нет области уведомлений: окно свёрнуто, а не скрыто"));
}

void TForm1::toggleWindow()
{
    // The key that hides is the way back: it hides even where there is no tray.
    if (isVisible() && !isMinimized())
        hide();
    else
        showWindow(this);
}

void TForm1::Hide1Click()
{
    hideWindow();
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Activation through the task bar always shows the window. A window the program hid itself
    // stays hidden: closing a menu or a box gives the activation back to it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isVisible() && !m_hiddenByProgram)
        show();
}

} // namespace vantry
