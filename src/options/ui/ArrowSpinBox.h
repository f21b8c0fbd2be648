#pragma once

#include <QSpinBox>

namespace vantry::options {

// A spin field changed only with its arrows (buttons, arrow keys, wheel); its text takes no typing.
class ArrowSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    ArrowSpinBox(int minimum, int maximum, int value, QWidget* parent = nullptr);
};

} // namespace vantry::options
