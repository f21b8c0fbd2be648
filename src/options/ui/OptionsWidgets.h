#pragma once

#include <QStringList>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QWidget;

// Pieces the options dialog's pages share: the design's control kinds and the page boxes.
namespace vantry::options::widgets {

QLabel* boldLabel(const QString& text, QWidget* parent);
QCheckBox* boldCheckBox(const QString& text, QWidget* parent);
QGroupBox* boldGroup(const QString& title, QWidget* parent);
// A button that Enter does not press: Enter presses the save button only.
QPushButton* button(const QString& text, QWidget* parent);
QTreeWidget* reportList(const QStringList& columns, QWidget* parent);
// Names a control by its design name, the name tests and the object tree know it by.
template <class T> T* named(T* control, const char* name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

int selectedRow(const QTreeWidget* list);
void selectRow(QTreeWidget* list, int row);

// The pages' messages: captioned "Error", one OK button, no icon.
void error(const QString& text);

} // namespace vantry::options::widgets
