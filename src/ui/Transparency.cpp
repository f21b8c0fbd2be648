#include "Transparency.h"

#include <QObject>
#include <QPointer>
#include <QVector>
#include <QWidget>

#include <algorithm>

namespace vantry::ui {

namespace {

struct State
{
    bool on = false;
    int level = 255;
    QVector<QPointer<QWidget>> windows;
};

State& state()
{
    static State s;
    return s;
}

void applyToRegistered()
{
    for (const QPointer<QWidget>& window : state().windows) {
        if (window)
            window->setWindowOpacity(Transparency::opacity());
    }
}

} // namespace

bool Transparency::on()
{
    return state().on;
}

int Transparency::level()
{
    return state().level;
}

double Transparency::opacity()
{
    return state().on ? state().level / 255.0 : 1.0;
}

void Transparency::setOn(bool on)
{
    state().on = on;
    applyToRegistered();
}

void Transparency::setLevel(int level)
{
    state().level = std::clamp(level, MinimumLevel, 255);
    applyToRegistered();
}

void Transparency::registerWindow(QWidget* window)
{
    if (!window)
        return;
    auto& windows = state().windows;
    windows.removeAll(QPointer<QWidget>());
    if (!windows.contains(window))
        windows.append(window);
}

void Transparency::applyOnShow(QWidget* window)
{
    if (window)
        window->setWindowOpacity(opacity());
}

} // namespace vantry::ui
