#pragma once

class QWidget;

namespace vantry::ui {

// Transparency on and the transparency level, applied to the program's windows as window opacity.
// Every window calls applyOnShow from its show handler; registered windows (the main window, the
// options dialog, the password prompt, the about box) also follow changes of the two at once.
class Transparency
{
public:
    // No level makes the windows too faint to be seen and reached.
    static constexpr int MinimumLevel = 30;

    static bool on();
    static int level(); // MinimumLevel..255
    static void setOn(bool on);
    // Raised to the lowest visible level and capped at 255.
    static void setLevel(int level);

    static void registerWindow(QWidget* window); // forgotten when the window is destroyed
    static void applyOnShow(QWidget* window);
    // The opacity a window shows with the current settings.
    static double opacity();
};

} // namespace vantry::ui
