#pragma once

#include "options/LiveSettings.h"
#include "options/StoredSettings.h"

#include <QWidget>

class QCheckBox;
class QPushButton;
class QSpinBox;
class QToolButton;
class QTreeWidget;

namespace vantry::options {

class IPv4Edit;
class MasterSection;
class PortEdit;

// The options dialog's scanning page: the address ranges, the two ports, the pause between
// probes, the broadcast and old-server switches, and the public server lists.
class ScanPage : public QWidget
{
    Q_OBJECT
public:
    explicit ScanPage(QWidget* parent);

    void load(const StoredSettings& s);
    void store(StoredSettings& s) const;

    QVector<AddressRange> ranges() const;
    int rangeCount() const;
    QString gamePort() const;
    QString hltvPort() const;
    int delayMs() const;
    bool broadcast() const;
    bool scanOld() const;
    MasterSource masterSource() const;
    int listRate() const;

    void TS2Show();
    void SBAddClick();
    void SBDelClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();

signals:
    // A range was added or deleted: the list goes to the file at once.
    void rangesEdited();

private:
    void appendRange(const AddressRange& range);
    void swapRanges(int row, int other);

    QCheckBox* CBBroadcast = nullptr;
    QCheckBox* CBOld = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QTreeWidget* LWranges = nullptr;
    IPv4Edit* IPE1 = nullptr;
    IPv4Edit* IPE2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QPushButton* SBDel = nullptr;
    QPushButton* SBAdd = nullptr;
    PortEdit* CSport = nullptr;
    PortEdit* HLTVport = nullptr;
    QSpinBox* SEDelay = nullptr;
    MasterSection* m_master = nullptr;
};

} // namespace vantry::options
