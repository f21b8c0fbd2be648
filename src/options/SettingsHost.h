#pragma once

#include <QSize>
#include <QString>

namespace vantry {
class IntervalTimer;
}

namespace vantry::options {

// What the options dialog reads from and writes to the main window, so that it can be built
// and tested without one.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;

    // Scan mode: item index of the main window's radio group, -1 (none), 0 game servers, 1 HLTV.
    virtual int scanMode() const = 0;
    virtual void setScanMode(int index) = 0;

    virtual QSize windowSize() const = 0;
    virtual void setWindowSize(const QSize& size) = 0;

    virtual IntervalTimer& favouritesTimer() = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;
};

} // namespace vantry::options
