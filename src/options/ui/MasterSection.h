#pragma once

#include "options/MasterSource.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace vantry::options {

class XashSection;

// The public server lists, on the scanning page: the source's switch, the Steam Web API key, the
// region of the masters' lists and the UDP masters the user adds.
class MasterSection : public QWidget
{
    Q_OBJECT
public:
    explicit MasterSection(QWidget* parent);

    void load(const MasterSource& source);
    MasterSource source() const;
    // Servers of the lists asked per second.
    void loadRate(int perSecond);
    int rate() const;

    void SBMasterAddClick();
    void SBMasterDelClick();
    void CBShowKeyClick();

private:
    QCheckBox* CBMaster = nullptr;
    QLineEdit* EditSteamKey = nullptr;
    QCheckBox* CBShowKey = nullptr;
    QComboBox* CBRegion = nullptr;
    QTreeWidget* LWMasters = nullptr;
    QLineEdit* EditMaster = nullptr;
    QPushButton* SBMasterDel = nullptr;
    QPushButton* SBMasterAdd = nullptr;
    QSpinBox* SERate = nullptr;
    XashSection* m_xash = nullptr;
    // What the file holds of the source that the page does not show (the Web API's address, the
    // masters' pace): written back as it came.
    MasterSource m_loaded;
};

} // namespace vantry::options
