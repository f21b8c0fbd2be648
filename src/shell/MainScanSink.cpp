// The main window's side of the scan engine: its sink over the endpoint and the controls, and
// the handlers of the scan, stop and refresh buttons, the cool-down and favourites timers.
#include "MainScanSink.h"

#include "base/Prompter.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "options/LiveSettings.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace vantry {

void TForm1::SBScanAllClick()
{
    // A refresh or favourites pass runs in a handler below this one and a sweep cannot start
    // inside it: the click is kept, the button shows it taken, and the sweep starts when the pass
    // has returned.
    if (!m_state.scanning &&
        (m_state.running == LongOperation::Refresh || m_state.running == LongOperation::FavouritesPass)) {
        m_sweepWanted = true;
        SBScanAll->setEnabled(false);
        return;
    }
    m_engine->sweep(m_scanMode);
    afterLongOperation();
}

void TForm1::SBStopClick()
{
    m_engine->stop();
}

void TForm1::SBRefreshClick()
{
    m_engine->refresh();
    afterLongOperation();
}

void TForm1::TimerTimer()
{
    const browser::ScanEngine::CooldownTick tick = m_engine->cooldownTick();
    SBScanAll->setText(tick.caption);
    if (tick.finished) {
        Timer.setEnabled(false);
        if (!m_state.autoConnect)
            SBScanAll->setEnabled(true);
    }
}

void TForm1::TimerFavTimer()
{
    m_engine->favouritesPass();
    afterLongOperation();
}

void TForm1::PMSAddClick()
{
    const int row = LW->selectedRow();
    if (row < 0)
        return;
    if (!m_settings->addFavourite({m_servers->address(row), m_servers->port(row)}))
        prompter().message(QStringLiteral("Error"), QStringLiteral("This address is already exist"),
                           BoxIcon::None);
}

void TForm1::afterLongOperation()
{
    if (m_state.running != LongOperation::None)
        return;
    if (m_closeWhenUnwound) {
        m_closeWhenUnwound = false;
        m_sweepWanted = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (!std::exchange(m_sweepWanted, false) || m_state.closing)
        return;
    // Auto-connect armed meanwhile holds the scan button, and its end gives the button back.
    if (m_state.autoConnect)
        return;
    SBScanAll->setEnabled(true);
    SBScanAllClick();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing during a sweep is refused and stops the sweep instead.
    if (m_state.scanning) {
        event->ignore();
        SBStopClick();
        // At the session's end the window closes by itself once the sweep has unwound.
        if (m_state.closing)
            m_closeWhenUnwound = true;
        return;
    }
    // A refresh or favourites pass unwinds first; the window is not destroyed under its loop.
    if (m_state.running != LongOperation::None) {
        event->ignore();
        m_state.closing = true;
        m_closeWhenUnwound = true;
        return;
    }
    m_state.closing = true;
    releaseEndpoint();
    QMainWindow::closeEvent(event);
    emit closeAccepted();
}

} // namespace vantry
