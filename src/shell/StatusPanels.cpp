#include "StatusPanels.h"

#include "browser/ScanEngine.h"

#include <QFont>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace vantry {

StatusPanels::StatusPanels(QStatusBar* bar, int flushMs) : QObject(bar)
{
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    bar->setFont(tahoma);
    bar->setSizeGripEnabled(true);
    const int panelWidths[Count] = {95, 50, 50};
    for (int i = 0; i < Count; ++i) {
        m_labels[i] = new QLabel(bar);
        m_labels[i]->setMinimumWidth(panelWidths[i]);
        m_labels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 1)
            m_labels[i]->setAlignment(Qt::AlignCenter);
        bar->addWidget(m_labels[i], i == 2 ? 1 : 0);
    }
    m_flush = new QTimer(this);
    m_flush->setSingleShot(true);
    m_flush->setInterval(flushMs);
    connect(m_flush, &QTimer::timeout, this, &StatusPanels::flush);
}

void StatusPanels::setText(int panel, const QString& text)
{
    if (panel < 0 || panel >= Count)
        return;
    if (panel == 0)
        m_address.reset();
    if (panel == 1)
        m_count.reset();
    m_texts[panel] = text;
    flushLater();
}

void StatusPanels::setAddress(std::uint32_t address)
{
    m_address = address;
    flushLater();
}

void StatusPanels::setCount(int count)
{
    m_count = count;
    flushLater();
}

QString StatusPanels::text(int panel) const
{
    if (panel == 0 && m_address)
        return browser::ScanEngine::addressStatus(*m_address);
    if (panel == 1 && m_count)
        return QString::number(*m_count);
    return panel >= 0 && panel < Count ? m_texts[panel] : QString();
}

void StatusPanels::flushLater()
{
    if (!m_flush->isActive())
        m_flush->start();
}

void StatusPanels::flush()
{
    if (m_address) {
        m_texts[0] = browser::ScanEngine::addressStatus(*m_address);
        m_address.reset();
    }
    if (m_count)
        m_texts[1] = QString::number(*m_count);
    for (int i = 0; i < Count; ++i)
        if (m_labels[i]->text() != m_texts[i])
            m_labels[i]->setText(m_texts[i]);
}

} // namespace vantry
