#pragma once

// Reaching a window's controls as tests see them: by object name, each control's name in the
// program. A control that is missing, of another kind or disabled when the test would use it
// fails the test (the exception ends it with the reason).
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QObject>
#include <QPushButton>
#include <QTest>

#include <stdexcept>
#include <string>

namespace vantry::test {

template <class T> T* control(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        throw std::runtime_error(std::string("no control \"") + name + "\" of the kind the test expects in " +
                                 window.metaObject()->className());
    return found;
}

// The menu item's action, triggered as a click on the item does; a disabled item fails the test.
inline void triggerAction(const QObject& window, const char* name)
{
    QAction* action = control<QAction>(window, name);
    if (!action->isEnabled())
        throw std::runtime_error(std::string("action \"") + name + "\" is disabled");
    action->trigger();
}

// A left click on the button (push or tool button); a disabled button fails the test instead of
// ignoring the click.
inline void clickButton(const QObject& window, const char* name)
{
    QAbstractButton* button = control<QAbstractButton>(window, name);
    if (!button->isEnabled())
        throw std::runtime_error(std::string("button \"") + name + "\" is disabled");
    QTest::mouseClick(button, Qt::LeftButton);
}

// Picks an item of a combo box with the arrow keys, as a user does; each step is an activation.
inline void pickItem(QComboBox* box, int index)
{
    if (!box->isEnabled())
        throw std::runtime_error("combo box \"" + box->objectName().toStdString() + "\" is disabled");
    while (box->currentIndex() != index) {
        const int before = box->currentIndex();
        QTest::keyClick(box, before < index ? Qt::Key_Down : Qt::Key_Up);
        if (box->currentIndex() == before)
            throw std::runtime_error("item " + std::to_string(index) + " cannot be picked");
    }
}

// A left click on the middle of a column's header in a table-like list.
template <class View> void clickHeader(View& view, int section)
{
    QHeaderView* header = view.horizontalHeader();
    if (header->isSectionHidden(section) || header->sectionSize(section) <= 0)
        throw std::runtime_error("column " + std::to_string(section) + " is not shown");
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

} // namespace vantry::test
