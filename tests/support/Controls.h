#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace vantry::test {

// The control called `name` inside `root`, found as the object tree knows it: windows keep their
// controls private. A name that is missing, given twice or on a control of another kind fails
// the test, which then ends (the exception is gtest's report).
template <class T> T* control(const QWidget& root, const char* name)
{
    const QString wanted = QString::fromLatin1(name);
    const QList<QObject*> found = root.findChildren<QObject*>(wanted);
    T* typed = found.size() == 1 ? qobject_cast<T*>(found.constFirst()) : nullptr;
    if (!typed) {
        const std::string problem = "control " + std::string(name) + ": " + std::to_string(found.size()) +
                                    " objects by that name, of the wanted kind: " + (typed ? "yes" : "no");
        ADD_FAILURE() << problem;
        throw std::runtime_error(problem);
    }
    return typed;
}

// Clicks a button as a user does; a user cannot click a disabled one.
inline void click(const QWidget& root, const char* name)
{
    auto* button = control<QAbstractButton>(root, name);
    EXPECT_TRUE(button->isEnabled()) << name << " is disabled";
    QTest::mouseClick(button, Qt::LeftButton);
}

// Picks an item of a combo box with the arrow keys, as a user does; each step is an activation.
inline void pickItem(QComboBox* box, int index)
{
    EXPECT_TRUE(box->isEnabled());
    while (box->currentIndex() < index) {
        const int before = box->currentIndex();
        QTest::keyClick(box, Qt::Key_Down);
        if (box->currentIndex() == before)
            break;
    }
    while (box->currentIndex() > index && box->currentIndex() > 0) {
        const int before = box->currentIndex();
        QTest::keyClick(box, Qt::Key_Up);
        if (box->currentIndex() == before)
            break;
    }
    EXPECT_EQ(box->currentIndex(), index);
}

} // namespace vantry::test
