#pragma once

#include "options/Ipv4Octets.h"

#include <QFrame>

#include <array>

class QLineEdit;

namespace vantry::options {

// The IPv4 address field: four boxes of up to three digits with dots between them. Typing a third
// digit or "." moves on to the next box; Left/Up at the start of a box and Right/Down at its end
// move to the neighbouring box. A box that stands for no octet (above 255) is set back. A whole
// address pasted into any box fills all four.
class IPv4Edit : public QFrame
{
    Q_OBJECT
public:
    explicit IPv4Edit(QWidget* parent = nullptr);

    int octet(int index) const { return m_value.octet(index); }
    void setOctet(int index, int value);
    // Empty until an octet is first set, then the four octets joined by dots.
    const QString& text() const { return m_value.text(); }
    bool entered() const { return m_value.entered(); }
    const Ipv4Octets& value() const { return m_value; }
    QLineEdit* box(int index) const;

signals:
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    bool boxKey(int index, QKeyEvent* event);
    void boxEdited(int index);
    void focusBox(int index, bool atEnd, bool selectAll = false);
    bool isEmpty() const;
    // After a whole address was taken: the four boxes show it, the caret at its end.
    void showPastedAddress();

    std::array<QLineEdit*, 4> m_boxes{};
    Ipv4Octets m_value;
};

} // namespace vantry::options
