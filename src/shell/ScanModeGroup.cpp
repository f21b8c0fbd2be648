#include "ScanModeGroup.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QRadioButton>

namespace vantry {

ScanModeGroup::ScanModeGroup(const QString& title, const QString& gameItem, const QString& hltvItem,
                             QWidget* parent)
    : QGroupBox(title, parent), m_buttons(new QButtonGroup(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    auto* game = new QRadioButton(gameItem, this);
    auto* hltv = new QRadioButton(hltvItem, this);
    m_buttons->addButton(game, 0);
    m_buttons->addButton(hltv, 1);
    layout->addWidget(game);
    layout->addWidget(hltv);
    game->setChecked(true);
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked || id == m_mode)
            return;
        m_mode = id;
        emit modeChanged(m_mode);
    });
}

void ScanModeGroup::setMode(int index)
{
    if (index == m_mode)
        return;
    if (index < 0) {
        m_buttons->setExclusive(false);
        for (QAbstractButton* b : m_buttons->buttons())
            b->setChecked(false);
        m_buttons->setExclusive(true);
        m_mode = -1;
        emit modeChanged(m_mode);
        return;
    }
    if (QAbstractButton* b = m_buttons->button(index))
        b->setChecked(true); // emits through idToggled
}

} // namespace vantry
