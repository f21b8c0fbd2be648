#include "WidgetPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace vantry {

void WidgetPrompter::message(const QString& caption, const QString& text, BoxIcon icon)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(caption);
    box.setText(text);
    switch (icon) {
    case BoxIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case BoxIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case BoxIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case BoxIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool WidgetPrompter::confirm(const QString& text)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Подтверждение"));
    box.setText(text);
    box.setIcon(QMessageBox::Question);
    QPushButton* yes = box.addButton(QStringLiteral("&Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Нет"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void WidgetPrompter::beep()
{
    QApplication::beep();
}

} // namespace vantry
