#pragma once

#include "options/LiveSettings.h"

#include <array>

namespace vantry::browser {

// Live settings held as plain values: for the headless command line and for tests.
class StaticSettings : public options::LiveSettings
{
public:
    StaticSettings();

    QVector<options::AddressRange> rangeList;
    QVector<options::Favourite> favouriteList;
    QString gamePortText = QStringLiteral("27015");
    QString hltvPortText = QStringLiteral("27020");
    int delay = 5;
    bool broadcastOn = true;
    bool scanOldOn = true;
    bool doubleClick = true;
    std::array<QString, options::GameSlotCount> paths;
    std::array<QString, options::GameSlotCount> params;
    std::array<QString, options::GameSlotCount> wrappers;
    QString xash; // the Xash3D FWGS client
    bool autoScanOn = false;
    int updateInterval = 10;
    options::MasterSource master;
    int listRateValue = options::DefaultListRate;

    QVector<options::AddressRange> ranges() const override { return rangeList; }
    QVector<options::Favourite> favourites() const override { return favouriteList; }
    int rangeCount() const override { return static_cast<int>(rangeList.size()); }
    int favouriteCount() const override { return static_cast<int>(favouriteList.size()); }
    QString gamePort() const override { return gamePortText; }
    QString hltvPort() const override { return hltvPortText; }
    int delayMs() const override { return delay; }
    bool broadcast() const override { return broadcastOn; }
    bool scanOld() const override { return scanOldOn; }
    bool doubleClickConnects() const override { return doubleClick; }
    QString gamePath(int slot) const override;
    QString startParams(int slot) const override;
    QString launchWrapper(int slot) const override;
    QString xashClient() const override { return xash; }
    bool autoScan() const override { return autoScanOn; }
    int updateIntervalSec() const override { return updateInterval; }
    bool addFavourite(const options::Favourite& favourite) override;
    options::MasterSource masterSource() const override { return master; }
    int listRate() const override { return listRateValue; }
};

} // namespace vantry::browser
