#pragma once

#include <QLineEdit>

namespace vantry::options {

// A port field: up to five digits. A typed character other than a digit or Backspace is dropped
// with a beep; pasted text gets in only when it keeps the field at up to five digits. A text set by
// code (a hand-edited settings file) is kept as it is.
class PortEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit PortEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace vantry::options
