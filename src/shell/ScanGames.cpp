#include "ScanGames.h"

#include "ListFinder.h"
#include "ListLayout.h"
#include "PaintPacer.h"
#include "ScanController.h"
#include "ScanModeGroup.h"
#include "StatusPanels.h"
#include "base/AppInfo.h"
#include "base/Prompter.h"
#include "browser/DetailsModels.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/ui/ListView.h"
#include "launch/ui/MainWindowLink.h"
#include "net/UdpEndpoint.h"
#include "options/LiveSettings.h"
#include "query/Clock.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantry {

namespace {
constexpr int DefaultWidth = 680;
constexpr int DefaultHeight = 351;
constexpr int MinimumWidth = 680;
constexpr int MinimumHeight = 175;
// The pace of the window's paints during a long operation, and of the status panels: twenty a
// second reads as live, and each paint costs as much as a few hundred probes.
constexpr int FrameMs = 50;
QPushButton* button(const char* name, const QString& caption, const QString& hint, bool enabled,
                    QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setEnabled(enabled);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TForm1::TForm1(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_clock(options.clock ? options.clock : &query::systemClock())
{
    setWindowTitle(appTitle());
    setWindowIcon(ui::icon(static_cast<int>(query::Image::HalfLife)));

    m_scan = std::make_unique<ScanController>(this, m_activity, options.localPort, *m_clock);
    // A box must not open inside the datagram handler: its nested loop would stall the socket.
    connect(&m_scan->queries(), &browser::QueryService::sendFailed, this, &TForm1::showStandardError,
            Qt::QueuedConnection);
    connect(&m_scan->endpoint(), &net::UdpEndpoint::bufferInvalid, this, &TForm1::UDPBufferInvalid);

    buildControls();
    buildMenus();

    m_scan->attach({.window = this,
                    .scanMode = RG,
                    .scanAll = SBScanAll,
                    .stop = SBStop,
                    .refresh = SBRefresh,
                    .autoButton = SBAuto,
                    .play = SBPlay,
                    .cooldown = &Timer,
                    .favourites = &TimerFav,
                    .panels = m_panels,
                    .currentScanMode = [this] { return scanMode(); },
                    .showOptions = [this] { Options1Click(); },
                    .showOptionsAt = [this](const char* field) { showOptionsAt(field); }});
    connect(&Timer, &IntervalTimer::timeout, this, [this] { guarded([this] { TimerTimer(); }); });
    connect(&TimerFav, &IntervalTimer::timeout, this, [this] { guarded([this] { TimerFavTimer(); }); });

    Timer.setObjectName(QStringLiteral("Timer"));
    TimerAuto.setObjectName(QStringLiteral("TimerAuto"));
    TimerFav.setObjectName(QStringLiteral("TimerFav"));

    setMinimumSize(MinimumWidth, MinimumHeight);
    setWindowSize(QSize(DefaultWidth, DefaultHeight));
}

TForm1::~TForm1()
{
    m_activity.markClosing();
    releaseEndpoint();
}

launch::MainWindowParts TForm1::launchParts()
{
    return {.window = this,
            .servers = &servers(),
            .list = LW,
            .queries = &queries(),
            .scanAll = SBScanAll,
            .refresh = SBRefresh,
            .play = SBPlay,
            .autoButton = SBAuto,
            .autoTimer = &TimerAuto,
            .setStatus = [this](int panel, const QString& text) { setStatusText(panel, text); },
            .trayAnimation = {},
            .hide = [this] { hideWindow(); },
            .guard = [this](const std::function<void()>& handler) { guarded(handler); }};
}

void TForm1::buildControls()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 0);
    outer->setSpacing(2);

    // Top row: scan mode, the five buttons and the big game icon.
    auto* top = new QHBoxLayout;
    RG = new ScanModeGroup(tr("Сканирование:"), tr("И г р а"), QStringLiteral("HLTV"), central);
    RG->setObjectName(QStringLiteral("RG"));
    connect(RG, &ScanModeGroup::modeChanged, this, [this] { guarded([this] { RGClick(); }); });
    top->addWidget(RG);

    SBScanAll =
        button("SBScanAll", browser::ScanEngine::scanCaption(), tr("Сканировать все IP"), true, central);
    SBStop = button("SBStop", tr("Остановить"), tr("Остановить сканирование"), false, central);
    SBRefresh = button("SBRefresh", QStringLiteral("RF"), tr("Обновить текущие сервера"), false, central);
    SBAuto = button("SBAuto", tr("Автоматически"), tr("Вкл/Откл автосоединение"), false, central);
    SBPlay = button("SBPlay", tr("Играть"), tr("Соединиться с сервером"), false, central);
    SBScanAll->setIcon(ui::icon(static_cast<int>(query::Image::AddressHeader)));
    SBPlay->setIcon(ui::icon(static_cast<int>(query::Image::Open)));
    // During the cool-down the scan button reads "Wait " and a count; it keeps the width of the
    // wider caption, so that the buttons beside it stay where they are.
    SBScanAll->setText(QStringLiteral("Wait 3"));
    const int waitWidth = SBScanAll->sizeHint().width();
    SBScanAll->setText(browser::ScanEngine::scanCaption());
    SBScanAll->setMinimumWidth(std::max(waitWidth, SBScanAll->sizeHint().width()));
    for (QPushButton* b : {SBScanAll, SBStop, SBRefresh, SBAuto, SBPlay})
        top->addWidget(b);
    connect(SBPlay, &QPushButton::clicked, this, [this] { guarded([this] { SBPlayClick(); }); });
    connect(SBAuto, &QPushButton::clicked, this, [this] { guarded([this] { SBAutoClick(); }); });
    connect(SBScanAll, &QPushButton::clicked, this, [this] { guarded([this] { SBScanAllClick(); }); });
    connect(SBStop, &QPushButton::clicked, this, [this] { guarded([this] { SBStopClick(); }); });
    connect(SBRefresh, &QPushButton::clicked, this, [this] { guarded([this] { SBRefreshClick(); }); });
    top->addStretch(1);
    Image = new QLabel(central);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setFixedSize(36, 36);
    Image->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Image->setAlignment(Qt::AlignCenter);
    top->addWidget(Image);
    outer->addLayout(top);

    // The server list and, on the right, the players and rules of the selected server; the user
    // may widen either. Not stored: the window keeps no widths of its lists.
    auto* middle = new QSplitter(Qt::Horizontal, central);
    middle->setObjectName(QStringLiteral("Splitter1"));
    middle->setChildrenCollapsible(false);
    middle->setHandleWidth(outer->spacing()); // as narrow as the gaps: every column shows by default
    LW = new browser::ListView(central);
    LW->setObjectName(QStringLiteral("LW"));
    m_finder = new ListFinder(m_scan->servers(), *LW, *statusBar(), *this);
    outer->addWidget(&m_finder->barWidget());
    layOutServerList(*LW);
    connect(LW->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { LWColumnClick(column); });
    middle->addWidget(LW);

    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    LWPlayers = new browser::ListView(PageControl1);
    LWPlayers->setObjectName(QStringLiteral("LWPlayers"));
    LWPlayers->setModel(&m_scan->players());
    connect(LWPlayers->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { LWPlayersColumnClick(column); });
    LWRules = new browser::ListView(PageControl1);
    LWRules->setObjectName(QStringLiteral("LWRules"));
    LWRules->setModel(&m_scan->rules());
    layOutDetails(*PageControl1, *LWPlayers, *LWRules);
    PageControl1->addTab(LWPlayers, ui::icon(static_cast<int>(query::Image::PlayersHeader)), tr("Игроки"));
    PageControl1->addTab(LWRules, ui::icon(static_cast<int>(query::Image::MapHeader)), tr("Правила"));
    middle->addWidget(PageControl1);
    middle->setStretchFactor(0, 1);
    middle->setStretchFactor(1, 0);
    middle->setSizes({DefaultWidth - PageControl1->minimumWidth(), PageControl1->minimumWidth()});
    outer->addWidget(middle, 1);
    setCentralWidget(central);

    // Status bar: target and outcome, probe count, notices.
    statusBar()->setObjectName(QStringLiteral("SBar"));
    m_panels = new StatusPanels(statusBar(), FrameMs);
    new PaintPacer(
        *this, [this] { return m_activity.running() != LongOperation::None; }, FrameMs);

    connect(LW->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { guarded([this] { LWSelectItem(); }); });
    connect(LW, &browser::ListView::clickedAnywhere, this, [this] { guarded([this] { LWClick(); }); });
    connect(LW, &browser::ListView::pressed, this, [this] { LWMouseDown(); });
    connect(m_finder, &ListFinder::selectionLost, this,
            [this] { guarded([this] { LWSelectItem(), LWClick(); }); });
    // The double click alone joins a server. The view's `activated` is not connected: it comes
    // with the same double click, with Enter, and under some desktop styles with a single click.
    connect(LW, &browser::ListView::doubleClickedAnywhere, this,
            [this] { guarded([this] { LWDblClick(); }); });
}

void TForm1::buildMenus()
{
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = menuBar()->addMenu(tr("Файл"));
    Hide1 = file->addAction(tr("Скрыть  (Shift+Alt+S)"), this, [this] { Hide1Click(); });
    Exit1 = file->addAction(tr("Выход"), this, [this] { Exit1Click(); });
    Options1 = menuBar()->addAction(tr("Опции"), this, [this] { Options1Click(); });
    About1 = menuBar()->addAction(tr("О программе..."), this, [this] { About1Click(); });

    PMServers = new QMenu(this);
    Play = PMServers->addAction(tr("Играть"), this, [this] { guarded([this] { SBPlayClick(); }); });
    Auto = PMServers->addAction(tr("Автосоединение"), this, [this] { guarded([this] { SBAutoClick(); }); });
    PMSAdd = PMServers->addAction(tr("Добавить в избранное"), this,
                                  [this] { guarded([this] { PMSAddClick(); }); });
    PMServers->setObjectName(QStringLiteral("PMServers"));
    buildJoinItems(file);
    const std::pair<QAction*, const char*> actions[] = {
        {Hide1, "Hide1"}, {Exit1, "Exit1"}, {Options1, "Options1"}, {About1, "About1"},
        {Play, "Play"},   {Auto, "Auto"},   {PMSAdd, "PMSAdd"}};
    for (const auto& [action, name] : actions)
        action->setObjectName(QLatin1String(name));
    connect(LW, &browser::ListView::contextMenuWanted, this,
            [this](const QPoint& at) { PMServers->popup(at); });
}

void TForm1::setLiveSettings(options::LiveSettings* settings)
{
    m_scan->setLiveSettings(settings);
}

int TForm1::scanMode() const
{
    return RG->mode();
}

void TForm1::setScanMode(int index)
{
    RG->setMode(std::clamp(index, -1, 1));
}

void TForm1::RGClick()
{
    emit scanModeChanged(scanMode());
    if (m_storeScanMode)
        m_storeScanMode(scanMode());
}

QSize TForm1::windowSize() const
{
    return size();
}

void TForm1::setWindowSize(const QSize& size)
{
    // A stored size no screen can show would be written back as it is: it is held to the screen,
    // and the window opens centred at the size it really has.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    QSize bounded = size;
    if (available.isValid())
        bounded = bounded.boundedTo(available.size());
    resize(bounded.expandedTo(minimumSize()));
    if (available.isValid())
        move(available.center() - rect().center());
}

void TForm1::setStatusText(int panel, const QString& text)
{
    m_panels->setText(panel, text);
}

QString TForm1::statusText(int panel) const
{
    return m_panels->text(panel);
}

void TForm1::LWSelectItem()
{
    LW->setContextMenuAllowed(false);
    browser::ServerListModel& servers = m_scan->servers();
    m_scan->players().clear();
    m_scan->rules().clear();
    const int row = LW->selectedRow();
    if (row < 0)
        return;
    if (servers.endpoint(row).port != 0)
        m_scan->queries().sendDetailsRequest(servers.endpoint(row));
    SBPlay->setEnabled(true);
    SBAuto->setEnabled(true);
    Image->clear();
    Image->setPixmap(ui::pixmap(static_cast<int>(servers.server(row).kindImage), 32));
}

void TForm1::LWClick()
{
    if (LW->selectedRow() >= 0)
        return;
    SBPlay->setEnabled(false);
    if (!m_scan->autoArmed())
        SBAuto->setEnabled(false);
    Image->clear();
    m_scan->players().clear();
    m_scan->rules().clear();
}

void TForm1::LWMouseDown()
{
    LW->setContextMenuAllowed(LW->selectedRow() >= 0);
}

void TForm1::LWDblClick()
{
    if (LW->selectedRow() < 0)
        return;
    if (m_scan->settings().doubleClickConnects())
        SBPlayClick();
}

void TForm1::LWPlayersColumnClick(int column)
{
    if (column == browser::PlayersModel::Name)
        m_scan->players().sortByName();
    else
        m_scan->players().sortByKills();
}

void TForm1::LWColumnClick(int column)
{
    m_finder->columnClicked(column);
}

void TForm1::SBPlayClick()
{
    if (m_playHandler)
        m_playHandler();
}

void TForm1::SBAutoClick()
{
    if (m_autoHandler)
        m_autoHandler();
}

void TForm1::SBScanAllClick()
{
    m_scan->scanAll(scanMode());
}

void TForm1::SBStopClick()
{
    m_scan->stop();
}

void TForm1::SBRefreshClick()
{
    m_scan->refresh();
}

void TForm1::TimerTimer()
{
    m_scan->cooldownTick();
}

void TForm1::TimerFavTimer()
{
    m_scan->favouritesPass();
}

void TForm1::PMSAddClick()
{
    const int row = LW->selectedRow();
    if (row < 0)
        return;
    if (!m_scan->settings().addFavourite({servers().address(row), servers().port(row)}))
        prompter().message(QStringLiteral("Error"), QStringLiteral("This address is already exist"),
                           BoxIcon::None);
}

void TForm1::Options1Click()
{
    if (m_optionsWindow) {
        m_optionsWindow->show();
        m_optionsWindow->raise();
        m_optionsWindow->activateWindow();
    }
}

void TForm1::showOptionsAt(const char* field)
{
    Options1Click();
    QWidget* target = m_optionsWindow ? m_optionsWindow->findChild<QWidget*>(QLatin1String(field)) : nullptr;
    if (!target)
        return;
    // A tab's page sits in the tab widget's stack.
    for (QWidget* page = target; page && page->parentWidget(); page = page->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget()))
            tabs->setCurrentWidget(page);
    target->setFocus(Qt::OtherFocusReason);
}

void TForm1::About1Click()
{
    if (m_aboutWindow) {
        m_aboutWindow->show();
        m_aboutWindow->raise();
    }
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::UDPBufferInvalid()
{
    prompter().message(QStringLiteral("Error"), QStringLiteral("Invalid buffer"), BoxIcon::None);
}

void TForm1::releaseEndpoint()
{
    if (m_scan)
        m_scan->releaseEndpoint();
}

void TForm1::restoreFromSecondCopy()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void TForm1::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& e) {
        showStandardError(QString::fromUtf8(e.what()));
    }
}

void TForm1::showStandardError(const QString& message)
{
    prompter().message(appTitle(), standardErrorText(message), BoxIcon::Error);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    m_hiddenByProgram = false;
    if (m_scan->settings().autoScan())
        TimerFav.setEnabled(true);
    if (m_showHook)
        m_showHook(this);
}

void TForm1::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    if (!event->spontaneous()) {
        m_hiddenByProgram = true;
        TimerFav.setEnabled(false);
    }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing during a sweep is refused and stops the sweep instead.
    if (m_scan->engine().isScanning()) {
        event->ignore();
        SBStopClick();
        // At the session's end the window closes by itself once the sweep has unwound.
        if (m_activity.closing())
            m_scan->closeWhenUnwound();
        return;
    }
    // A refresh or favourites pass unwinds first; the window is not destroyed under its loop.
    if (m_activity.running() != LongOperation::None) {
        event->ignore();
        m_activity.markClosing();
        m_scan->closeWhenUnwound();
        return;
    }
    m_activity.markClosing();
    releaseEndpoint();
    QMainWindow::closeEvent(event);
    emit closeAccepted();
}

} // namespace vantry
