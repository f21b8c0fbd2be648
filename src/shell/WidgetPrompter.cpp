#include "WidgetPrompter.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

namespace vantry {

namespace {

// The window a box belongs to: the one the user works in, else the program's main window, shown
// or hidden in the tray. A box without a parent is a window of its own, apart from the program's.
QWidget* boxParent()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isVisible())
        return active;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(window))
            return window;
    return nullptr;
}

} // namespace

void WidgetPrompter::message(const QString& caption, const QString& text, BoxIcon icon)
{
    QMessageBox box(boxParent());
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
    QMessageBox box(boxParent());
    box.setWindowTitle(QCoreApplication::translate("vantry::WidgetPrompter", "Подтверждение"));
    box.setText(text);
    box.setIcon(QMessageBox::Question);
    QPushButton* yes =
        box.addButton(QCoreApplication::translate("vantry::WidgetPrompter", "&Да"), QMessageBox::YesRole);
    QPushButton* no =
        box.addButton(QCoreApplication::translate("vantry::WidgetPrompter", "&Нет"), QMessageBox::NoRole);
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
