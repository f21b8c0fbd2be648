#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QStatusBar;
class QTimer;

namespace vantry {

// The status bar's three panels: target and outcome, probe count, notices. A sweep writes the
// panels after every probe; the labels follow at display pace, and the texts written are what
// text() gives back at once.
class StatusPanels : public QObject
{
    Q_OBJECT
public:
    static constexpr int Count = 3;

    // Adds the panels to the bar. flushMs: how long a written text may wait for its label.
    StatusPanels(QStatusBar* bar, int flushMs);

    void setText(int panel, const QString& text);
    QString text(int panel) const;
    // Panel 0 shows a probed address; its text is made when it is read or shown.
    void setAddress(std::uint32_t address);
    void setCount(int count);
    // The probe count while panel 1 shows it; nothing once other text replaced it.
    std::optional<int> count() const { return m_count; }

private:
    void flushLater();
    void flush();

    QLabel* m_labels[Count] = {};
    QString m_texts[Count];
    std::optional<std::uint32_t> m_address; // stands for panel 0's text while set
    std::optional<int> m_count;             // stands for panel 1's text while set
    QTimer* m_flush = nullptr;
};

} // namespace vantry
