#pragma once

#include <QGroupBox>

class QButtonGroup;

namespace vantry {

// The scan-mode radio group: item 0 game servers, item 1 HLTV relays, or -1 with none checked.
class ScanModeGroup : public QGroupBox
{
    Q_OBJECT
public:
    ScanModeGroup(const QString& title, const QString& gameItem, const QString& hltvItem, QWidget* parent);

    int mode() const { return m_mode; }
    // -1 unchecks both items; another mode than the current one emits modeChanged.
    void setMode(int index);

signals:
    // By the user's click or by setMode.
    void modeChanged(int index);

private:
    QButtonGroup* m_buttons;
    int m_mode = 0;
};

} // namespace vantry
