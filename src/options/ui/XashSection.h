#pragma once

#include "options/MasterSource.h"

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace vantry::options {

// The community masters and HTTP list beside the Steam list: the switch, the masters the user
// keeps (the project's own preset) and the list's base address.
class XashSection : public QWidget
{
    Q_OBJECT
public:
    explicit XashSection(QWidget* parent);

    void load(const XashSource& source);
    XashSource source() const;

    void SBXashAddClick();
    void SBXashDelClick();

private:
    QCheckBox* CBXash = nullptr;
    QTreeWidget* LWXash = nullptr;
    QLineEdit* EditXash = nullptr;
    QPushButton* SBXashDel = nullptr;
    QPushButton* SBXashAdd = nullptr;
    QLineEdit* EditListUrl = nullptr;
};

} // namespace vantry::options
