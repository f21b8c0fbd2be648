#include "ScanController.h"

#include "MainScanSink.h"
#include "base/IntervalTimer.h"
#include "browser/DetailsModels.h"
#include "browser/MasterListFetch.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "net/UdpEndpoint.h"
#include "options/LiveSettings.h"
#include "ui/Icons.h"

#include <QMetaObject>
#include <QPushButton>
#include <QWidget>

#include <utility>

namespace vantry {

ScanController::ScanController(QWidget* window, Activity& activity, std::uint16_t localPort,
                               query::Clock& clock)
    : m_activity(activity), m_endpoint(std::make_unique<net::UdpEndpoint>()),
      m_servers(new browser::ServerListModel(window)), m_players(new browser::PlayersModel(window)),
      m_rules(new browser::RulesModel(window))
{
    m_servers->setIconProvider(&ui::icon);
    m_endpoint->open(localPort);
    m_queries = std::make_unique<browser::QueryService>(*m_endpoint, *m_servers, *m_players, *m_rules, clock);
    m_queries->setScanOld([this] { return m_settings->scanOld(); });
    QObject::connect(m_queries.get(), &browser::QueryService::serverListed, window,
                     [this] { onServerListed(); });

    m_defaultSettings = std::make_unique<browser::StaticSettings>();
    m_lists = std::make_unique<browser::MasterListFetch>();
    m_sink = std::make_unique<MainScanSink>(*this);
    setLiveSettings(m_defaultSettings.get());
}

ScanController::~ScanController() = default;

void ScanController::attach(ScanControls controls)
{
    m_controls = std::move(controls);
}

void ScanController::setLiveSettings(options::LiveSettings* settings)
{
    m_settings = settings ? settings : m_defaultSettings.get();
    m_engine = std::make_unique<browser::ScanEngine>(m_activity, *m_settings, *m_sink);
}

void ScanController::onServerListed()
{
    if (m_servers->count() > 0 && !m_engine->isScanning() && m_controls.refresh)
        m_controls.refresh->setEnabled(true);
}

void ScanController::scanAll(int scanMode)
{
    // A refresh or favourites pass runs in a handler below this one and a sweep cannot start
    // inside it: the click is kept, the button shows it taken, and the sweep starts when the pass
    // has returned.
    if (!m_engine->isScanning() && (m_activity.running() == LongOperation::Refresh ||
                                    m_activity.running() == LongOperation::FavouritesPass)) {
        m_sweepWanted = true;
        m_controls.scanAll->setEnabled(false);
        return;
    }
    m_engine->sweep(scanMode);
    afterLongOperation();
}

void ScanController::stop()
{
    m_engine->stop();
}

void ScanController::refresh()
{
    m_engine->refresh();
    afterLongOperation();
}

void ScanController::cooldownTick()
{
    const browser::ScanEngine::CooldownTick tick = m_engine->cooldownTick();
    m_controls.scanAll->setText(tick.caption);
    if (tick.finished) {
        m_controls.cooldown->setEnabled(false);
        if (!autoArmed())
            m_controls.scanAll->setEnabled(true);
    }
}

void ScanController::favouritesPass()
{
    m_engine->favouritesPass();
    afterLongOperation();
}

void ScanController::afterLongOperation()
{
    if (m_activity.running() != LongOperation::None)
        return;
    if (m_closeWhenUnwound) {
        m_closeWhenUnwound = false;
        m_sweepWanted = false;
        QMetaObject::invokeMethod(m_controls.window, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (!std::exchange(m_sweepWanted, false) || m_activity.closing())
        return;
    // Auto-connect armed meanwhile holds the scan button, and its end gives the button back.
    if (autoArmed())
        return;
    m_controls.scanAll->setEnabled(true);
    scanAll(m_controls.currentScanMode());
}

void ScanController::releaseEndpoint()
{
    if (m_endpoint)
        m_endpoint->close();
    // The public lists' sockets and requests go with it.
    if (m_lists)
        m_lists->cancel();
}

} // namespace vantry
