#include "IPv4Edit.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpressionValidator>

#include <cstdlib>

namespace vantry::options {

IPv4Edit::IPv4Edit(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);
    // Pasted text goes past the key handling: up to three digits get in, or a whole address, which
    // fills the four boxes wherever it was pasted. No length limit: it would cut the address.
    auto* validator = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,3}|\\s*[0-9]{1,3}(\\.[0-9]{1,3}){3}\\s*")), this);
    for (int i = 0; i < 4; ++i) {
        auto* box = new QLineEdit(this);
        box->setFrame(false);
        box->setAlignment(Qt::AlignCenter);
        box->setValidator(validator);
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 4);
        box->installEventFilter(this);
        connect(box, &QLineEdit::textEdited, this, [this, i] { boxEdited(i); });
        m_boxes[static_cast<std::size_t>(i)] = box;
        layout->addWidget(box);
        if (i < 3)
            layout->addWidget(new QLabel(QStringLiteral("."), this));
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusProxy(m_boxes[0]);
    setFocusPolicy(Qt::StrongFocus);
}

QLineEdit* IPv4Edit::box(int index) const
{
    return index >= 0 && index < 4 ? m_boxes[static_cast<std::size_t>(index)] : nullptr;
}

void IPv4Edit::setOctet(int index, int value)
{
    if (index < 0 || index >= 4)
        return;
    m_value.setOctet(index, value);
    box(index)->setText(QString::number(m_value.octet(index)));
    emit changed();
}

void IPv4Edit::focusBox(int index, bool atEnd, bool selectAll)
{
    QLineEdit* target = box(index);
    if (!target)
        return;
    target->setFocus(Qt::OtherFocusReason);
    if (selectAll)
        target->selectAll();
    else
        target->setCursorPosition(atEnd ? static_cast<int>(target->text().size()) : 0);
}

void IPv4Edit::boxEdited(int index)
{
    QLineEdit* edited = box(index);
    if (edited->text().contains(u'.')) {
        if (!m_value.applyAddress(edited->text())) {
            // No address (an octet above 255): the box shows its octet again.
            edited->setText(m_value.text().isEmpty() ? QString() : QString::number(m_value.octet(index)));
            return;
        }
        showPastedAddress();
        return;
    }
    if (const std::optional<QString> back = m_value.applyBoxText(index, edited->text()))
        edited->setText(*back);
    emit changed();
}

void IPv4Edit::showPastedAddress()
{
    for (int i = 0; i < 4; ++i)
        box(i)->setText(QString::number(m_value.octet(i)));
    focusBox(3, true);
    emit changed();
}

bool IPv4Edit::isEmpty() const
{
    for (QLineEdit* b : m_boxes)
        if (!b->text().isEmpty())
            return false;
    return true;
}

void IPv4Edit::mousePressEvent(QMouseEvent* event)
{
    // A press on a dot or the frame: the nearest box, or the first while nothing is entered.
    int nearest = 0;
    if (!isEmpty()) {
        int best = width();
        for (int i = 0; i < 4; ++i) {
            const int distance = std::abs(box(i)->geometry().center().x() - event->position().toPoint().x());
            if (distance < best) {
                best = distance;
                nearest = i;
            }
        }
    }
    focusBox(nearest, true);
    event->accept();
}

bool IPv4Edit::eventFilter(QObject* watched, QEvent* event)
{
    // An empty field is typed from its start, wherever the click lands.
    if (event->type() == QEvent::MouseButtonPress && watched != box(0) && isEmpty()) {
        for (int i = 1; i < 4; ++i)
            if (watched == box(i)) {
                focusBox(0, false);
                return true;
            }
    }
    if (event->type() == QEvent::KeyPress) {
        for (int i = 0; i < 4; ++i) {
            if (watched == box(i))
                return boxKey(i, static_cast<QKeyEvent*>(event));
        }
    }
    return QFrame::eventFilter(watched, event);
}

bool IPv4Edit::boxKey(int index, QKeyEvent* event)
{
    QLineEdit* edit = box(index);
    // A whole address replaces all four, whatever the box holds; anything else pastes as usual.
    if (event->matches(QKeySequence::Paste) && m_value.applyAddress(QGuiApplication::clipboard()->text())) {
        showPastedAddress();
        return true;
    }
    const int caret = edit->cursorPosition();
    const bool noSelection = !edit->hasSelectedText();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (caret == 0 && noSelection && index > 0) {
            focusBox(index - 1, true);
            return true;
        }
        return event->key() == Qt::Key_Up;
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (caret == edit->text().size() && noSelection && index < 3) {
            focusBox(index + 1, false);
            return true;
        }
        return event->key() == Qt::Key_Down;
    default:
        break;
    }
    const QString typed = event->text();
    if (typed.isEmpty() || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return false;
    const QChar c = typed.front();
    if (c == u'.') {
        if (!edit->text().isEmpty() && index < 3)
            focusBox(index + 1, false, true);
        return true;
    }
    if (c >= u'0' && c <= u'9') {
        const qsizetype kept = edit->text().size() - edit->selectedText().size();
        if (kept >= 3)
            return true;
        edit->insert(QString(c)); // runs boxEdited through textEdited
        if (kept == 2 && edit->text().size() == 3 && index < 3)
            focusBox(index + 1, false, true);
        return true;
    }
    // Other characters are dropped; control characters (copy, paste, Enter, Escape) go on.
    return c.isPrint();
}

} // namespace vantry::options
