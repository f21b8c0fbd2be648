#pragma once

#include "browser/ServerFilter.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vantry::browser {

// The bar above the server list that narrows it: a text looked for in name, map, address and
// game (Escape clears it), «Не полные», «Не пустые», «Без пароля», «Могу подключиться» (a client
// is set for the server), a game, a map and a maximum round trip. Every edit is a change at once.
class FilterBar : public QWidget
{
    Q_OBJECT
public:
    explicit FilterBar(QWidget* parent = nullptr);

    FilterSettings settings() const;
    // Shows the settings; one change follows when they differ from what was shown.
    void setSettings(const FilterSettings& settings);
    // Ctrl+F: the text field takes the keyboard, its text selected for typing over.
    void focusText();

signals:
    void changed(const vantry::browser::FilterSettings& settings);

private:
    void emitChanged();

    QLineEdit* EFilter = nullptr;
    QCheckBox* CBNotFull = nullptr;
    QCheckBox* CBNotEmpty = nullptr;
    QCheckBox* CBNoPassword = nullptr;
    QCheckBox* CBCanJoin = nullptr;
    QComboBox* CBFilterGame = nullptr;
    QLineEdit* EFilterMap = nullptr;
    QSpinBox* SEMaxPing = nullptr;
    bool m_quiet = false;
};

} // namespace vantry::browser
