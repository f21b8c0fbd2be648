#include "ArrowSpinBox.h"

#include <QLineEdit>

namespace vantry::options {

ArrowSpinBox::ArrowSpinBox(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent)
{
    setRange(minimum, maximum);
    setValue(value);
    lineEdit()->setReadOnly(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

} // namespace vantry::options
