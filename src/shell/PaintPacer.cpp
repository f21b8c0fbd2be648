#include "PaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace vantry {

PaintPacer::PaintPacer(QWidget& window, std::function<bool()> busy, int frameMs)
    : QObject(&window), m_window(window), m_busy(std::move(busy)), m_frameMs(frameMs),
      m_paintLater(new QTimer(this))
{
    m_paintLater->setSingleShot(true);
    connect(m_paintLater, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(&m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    window.installEventFilter(this);
}

bool PaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && event->type() == QEvent::UpdateRequest) {
        const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : m_frameMs;
        if (m_busy() && since < m_frameMs) {
            if (!m_paintLater->isActive())
                m_paintLater->start(int(m_frameMs - since));
            return true;
        }
        m_sincePaint.start();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace vantry
