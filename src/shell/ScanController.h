#pragma once

#include "base/Activity.h"

#include <cstdint>
#include <functional>
#include <memory>

class QGroupBox;
class QPushButton;
class QWidget;

namespace vantry::query {
class Clock;
}
namespace vantry {
class IntervalTimer;
class MainScanSink;
class StatusPanels;
} // namespace vantry
namespace vantry::net {
class UdpEndpoint;
}
namespace vantry::options {
class LiveSettings;
}
namespace vantry::browser {
class MasterListFetch;
class PlayersModel;
class QueryService;
class RulesModel;
class ScanEngine;
class ServerListModel;
class StaticSettings;
} // namespace vantry::browser

namespace vantry {

// The main window's controls that sweeps, refreshes and favourites passes drive.
struct ScanControls
{
    QWidget* window = nullptr;
    QGroupBox* scanMode = nullptr;       // RG
    QPushButton* scanAll = nullptr;      // SBScanAll
    QPushButton* stop = nullptr;         // SBStop
    QPushButton* refresh = nullptr;      // SBRefresh
    QPushButton* autoButton = nullptr;   // SBAuto
    QPushButton* play = nullptr;         // SBPlay
    IntervalTimer* cooldown = nullptr;   // Timer
    IntervalTimer* favourites = nullptr; // TimerFav
    StatusPanels* panels = nullptr;
    std::function<int()> currentScanMode;
    // A sweep's missing settings: after the warning, the options dialog.
    std::function<void()> showOptions;
    // The options dialog on the page of the field of this object name, the field focused.
    std::function<void(const char* field)> showOptionsAt;
};

// The main window's scanning side: the endpoint, the query service and the lists it fills, the
// scan engine and its sink, the public server lists, and what the scan, stop and refresh buttons
// and the cool-down and favourites timers do.
class ScanController
{
public:
    // The lists are children of `window`: its views outlive this controller.
    // The engine marks its long operations on `activity`; the window marks the closing.
    ScanController(QWidget* window, Activity& activity, std::uint16_t localPort, query::Clock& clock);
    ~ScanController();

    // Once the window has built its controls; nothing here touches them before.
    void attach(ScanControls controls);
    const ScanControls& controls() const { return m_controls; }

    // Null: the built-in defaults.
    void setLiveSettings(options::LiveSettings* settings);
    options::LiveSettings& settings() const { return *m_settings; }

    net::UdpEndpoint& endpoint() { return *m_endpoint; }
    browser::QueryService& queries() { return *m_queries; }
    browser::ServerListModel& servers() { return *m_servers; }
    browser::PlayersModel& players() { return *m_players; }
    browser::RulesModel& rules() { return *m_rules; }
    browser::ScanEngine& engine() { return *m_engine; }
    browser::MasterListFetch& masterLists() { return *m_lists; }
    const Activity& activity() const { return m_activity; }

    // Whether auto-connect waits, which holds the scan and auto buttons. None: never armed.
    void setAutoArmed(std::function<bool()> armed) { m_autoArmed = std::move(armed); }
    bool autoArmed() const { return m_autoArmed && m_autoArmed(); }

    void scanAll(int scanMode);
    void stop();
    void refresh();
    void cooldownTick();
    void favouritesPass();

    // A close refused while a long operation runs goes ahead once it has returned.
    void closeWhenUnwound() { m_closeWhenUnwound = true; }
    // Nothing is sent or received afterwards. Twice does nothing.
    void releaseEndpoint();

private:
    void onServerListed();
    // After a long operation returns: a close or a sweep that waited for it goes ahead now.
    void afterLongOperation();

    Activity& m_activity;
    std::function<bool()> m_autoArmed;
    std::unique_ptr<net::UdpEndpoint> m_endpoint;
    browser::ServerListModel* m_servers;
    browser::PlayersModel* m_players;
    browser::RulesModel* m_rules;
    std::unique_ptr<browser::QueryService> m_queries;
    std::unique_ptr<browser::StaticSettings> m_defaultSettings;
    options::LiveSettings* m_settings = nullptr;
    std::unique_ptr<browser::MasterListFetch> m_lists;
    std::unique_ptr<MainScanSink> m_sink;
    std::unique_ptr<browser::ScanEngine> m_engine;
    ScanControls m_controls;
    bool m_closeWhenUnwound = false;
    // The scan button was clicked during a refresh or favourites pass; the sweep runs after it.
    bool m_sweepWanted = false;
};

} // namespace vantry
