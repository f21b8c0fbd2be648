#include "PortEdit.h"

#include "base/Prompter.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>

namespace vantry::options {

PortEdit::PortEdit(QWidget* parent) : QLineEdit(parent)
{
    // A validator rather than a length limit: a limit would cut a longer text loaded from the file.
    setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 8);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), this));
}

void PortEdit::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (!typed.isEmpty() && event->key() != Qt::Key_Backspace) {
        const QChar c = typed.front();
        if (c.isPrint() && (c < u'0' || c > u'9')) {
            prompter().beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace vantry::options
