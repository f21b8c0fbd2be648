#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;
class QWidget;

namespace vantry {

// A sweep yields every millisecond and nearly every yield brings a reply that dirties the list;
// painting the window each time costs more than the probes. While `busy` holds, the window
// paints at most once every frame: a request that comes sooner is held back, and the window
// asks again when it is due, so every change is still painted.
class PaintPacer : public QObject
{
public:
    PaintPacer(QWidget& window, std::function<bool()> busy, int frameMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    std::function<bool()> m_busy;
    int m_frameMs;
    QElapsedTimer m_sincePaint;
    QTimer* m_paintLater;
};

} // namespace vantry
