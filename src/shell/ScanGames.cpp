#include "ScanGames.h"

#include "MainScanSink.h"
#include "base/AppInfo.h"
#include "base/Prompter.h"
#include "browser/DetailsModels.h"
#include "browser/MasterListFetch.h"
#include "browser/QueryService.h"
#include "browser/ScanEngine.h"
#include "browser/ServerListModel.h"
#include "browser/StaticSettings.h"
#include "browser/ui/ListView.h"
#include "net/UdpEndpoint.h"
#include "options/LiveSettings.h"
#include "query/Clock.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace vantry {

namespace {

constexpr int DefaultWidth = 680;
constexpr int DefaultHeight = 351;
constexpr int MinimumWidth = 680;
constexpr int MinimumHeight = 175;
// The pace of the window's paints during a long operation, and of the status panels: twenty a
// second reads as live, and each paint costs as much as a few hundred probes.
constexpr int FrameMs = 50;
// Every column shows in the default window, the round-trip column included: the name takes what
// the others leave, down to this.
constexpr int NameWidth = 70;
constexpr int ColumnWidths[] = {55, NameWidth, 90, 46, 22, 60, 42, 54, 20, 31};
static_assert(std::size(ColumnWidths) == browser::ServerListModel::ColumnCount);

// Tabs as wide as their icon and text and little more: the details panel is narrow, and a desktop
// style's own padding would push "Правила" out of sight.
class CompactTabStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? std::min(value, 8) : value;
    }
};

// Cells and headers with a pixel of margin instead of a desktop style's three or four: ten columns
// share the default window, and "CSS", "WIN" and "Пинг" must still read whole.
class CompactListStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric == PM_FocusFrameHMargin)
            return 0;
        if (metric == PM_HeaderMargin)
            return std::min(value, 1);
        return value;
    }
    // Behaviour (single-click activation and the like) stays the application style's.
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        return QApplication::style()->styleHint(hint, option, widget, returnData);
    }
};

QPushButton* button(const QString& caption, const QString& hint, bool enabled, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setToolTip(hint);
    b->setEnabled(enabled);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TForm1::TForm1(const Options& options, QWidget* parent)
    : QMainWindow(parent), m_clock(options.clock ? options.clock : &query::systemClock()),
      UDP(std::make_unique<net::UdpEndpoint>()), m_servers(new browser::ServerListModel(this)),
      m_players(new browser::PlayersModel(this)), m_rules(new browser::RulesModel(this))
{
    setWindowTitle(appTitle());
    setWindowIcon(ui::icon(static_cast<int>(query::Image::HalfLife)));
    m_servers->setIconProvider(&ui::icon);

    UDP->open(options.localPort);
    m_queries = std::make_unique<browser::QueryService>(*UDP, *m_servers, *m_players, *m_rules, *m_clock);
    m_queries->setScanOld([this] { return oldServers(); });
    connect(m_queries.get(), &browser::QueryService::serverListed, this, &TForm1::onServerListed);
    // A box must not open inside the datagram handler: its nested loop would stall the socket.
    connect(m_queries.get(), &browser::QueryService::sendFailed, this, &TForm1::showStandardError,
            Qt::QueuedConnection);
    connect(UDP.get(), &net::UdpEndpoint::bufferInvalid, this, &TForm1::UDPBufferInvalid);

    m_defaultSettings = std::make_unique<browser::StaticSettings>();
    m_lists = std::make_unique<browser::MasterListFetch>();
    m_sink = std::make_unique<ScanSinkImpl>(*this);
    setLiveSettings(m_defaultSettings.get());

    buildControls();
    buildMenus();

    connect(&Timer, &IntervalTimer::timeout, this, [this] { guarded([this] { TimerTimer(); }); });
    connect(&TimerFav, &IntervalTimer::timeout, this, [this] { guarded([this] { TimerFavTimer(); }); });

    setMinimumSize(MinimumWidth, MinimumHeight);
    setWindowSize(QSize(DefaultWidth, DefaultHeight));
}

TForm1::~TForm1()
{
    m_state.closing = true;
    releaseEndpoint();
}

void TForm1::buildControls()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(2, 2, 2, 0);
    outer->setSpacing(2);

    // Top row: scan mode, the five buttons and the big game icon.
    auto* top = new QHBoxLayout;
    RG = new QGroupBox(tr("Сканирование:"), central);
    auto* rgLayout = new QHBoxLayout(RG);
    rgLayout->setContentsMargins(6, 2, 6, 2);
    m_rgButtons = new QButtonGroup(RG);
    auto* game = new QRadioButton(tr("И г р а"), RG);
    auto* hltv = new QRadioButton(QStringLiteral("HLTV"), RG);
    m_rgButtons->addButton(game, 0);
    m_rgButtons->addButton(hltv, 1);
    rgLayout->addWidget(game);
    rgLayout->addWidget(hltv);
    game->setChecked(true);
    connect(m_rgButtons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (!checked || id == m_scanMode)
            return;
        m_scanMode = id;
        guarded([this] { RGClick(); });
    });
    top->addWidget(RG);

    SBScanAll = button(browser::ScanEngine::scanCaption(), tr("Сканировать все IP"), true, central);
    SBStop = button(tr("Остановить"), tr("Остановить сканирование"), false, central);
    SBRefresh = button(QStringLiteral("RF"), tr("Обновить текущие сервера"), false, central);
    SBAuto = button(tr("Автоматически"), tr("Вкл/Откл автосоединение"), false, central);
    SBPlay = button(tr("Играть"), tr("Соединиться с сервером"), false, central);
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
    Image->setFixedSize(36, 36);
    Image->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Image->setAlignment(Qt::AlignCenter);
    top->addWidget(Image);
    outer->addLayout(top);

    // The server list and, on the right, the players and rules of the selected server.
    auto* middle = new QHBoxLayout;
    LW = new browser::ListView(central);
    LW->setObjectName(QStringLiteral("LW"));
    LW->setModel(m_servers);
    QHeaderView* header = LW->horizontalHeader();
    header->setMinimumSectionSize(10);
    auto* listStyle = new CompactListStyle(QStyleFactory::create(QApplication::style()->name()));
    listStyle->setParent(LW);
    LW->setStyle(listStyle);
    header->setStyle(listStyle);
    for (int c = 0; c < browser::ServerListModel::ColumnCount; ++c)
        LW->setColumnWidth(c, ColumnWidths[c]);
    // The name takes the room the other columns leave, but never less than its own width: in
    // a narrow window the list scrolls sideways rather than hide the names.
    LW->viewport()->installEventFilter(this);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) { LWColumnClick(column); });
    middle->addWidget(LW, 1);

    PageControl1 = new QTabWidget(central);
    PageControl1->setFixedWidth(168);
    auto* tabStyle = new CompactTabStyle(QStyleFactory::create(QApplication::style()->name()));
    tabStyle->setParent(PageControl1->tabBar());
    PageControl1->tabBar()->setStyle(tabStyle);
    LWPlayers = new browser::ListView(PageControl1);
    LWPlayers->setObjectName(QStringLiteral("LWPlayers"));
    LWPlayers->setModel(m_players);
    LWPlayers->horizontalHeader()->setSectionsClickable(true);
    LWPlayers->horizontalHeader()->setSectionResizeMode(browser::PlayersModel::Name, QHeaderView::Stretch);
    // "Убийства" is shown whole: the kills column is as wide as its header, the names take the rest.
    LWPlayers->setColumnWidth(
        browser::PlayersModel::Kills,
        std::max(40, LWPlayers->horizontalHeader()->sectionSizeHint(browser::PlayersModel::Kills)));
    connect(LWPlayers->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { LWPlayersColumnClick(column); });
    LWRules = new browser::ListView(PageControl1);
    LWRules->setObjectName(QStringLiteral("LWRules"));
    LWRules->setModel(m_rules);
    LWRules->setColumnWidth(browser::RulesModel::Name, 98);
    LWRules->horizontalHeader()->setSectionResizeMode(browser::RulesModel::Value, QHeaderView::Stretch);
    PageControl1->addTab(LWPlayers, ui::icon(static_cast<int>(query::Image::PlayersHeader)), tr("Игроки"));
    PageControl1->addTab(LWRules, ui::icon(static_cast<int>(query::Image::MapHeader)), tr("Правила"));
    middle->addWidget(PageControl1);
    outer->addLayout(middle, 1);
    setCentralWidget(central);

    // Status bar: target and outcome, probe count, notices.
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    statusBar()->setFont(tahoma);
    statusBar()->setSizeGripEnabled(true);
    const int panelWidths[3] = {95, 50, 50};
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(statusBar());
        m_panels[i]->setMinimumWidth(panelWidths[i]);
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (i == 1)
            m_panels[i]->setAlignment(Qt::AlignCenter);
        statusBar()->addWidget(m_panels[i], i == 2 ? 1 : 0);
    }
    m_panelFlush = new QTimer(this);
    m_panelFlush->setSingleShot(true);
    m_panelFlush->setInterval(FrameMs);
    connect(m_panelFlush, &QTimer::timeout, this, [this] {
        if (m_panel0Address) {
            m_panelTexts[0] = browser::ScanEngine::addressStatus(*m_panel0Address);
            m_panel0Address.reset();
        }
        if (m_panel1Count)
            m_panelTexts[1] = QString::number(*m_panel1Count);
        for (int i = 0; i < 3; ++i)
            if (m_panels[i]->text() != m_panelTexts[i])
                m_panels[i]->setText(m_panelTexts[i]);
    });

    m_paintLater = new QTimer(this);
    m_paintLater->setSingleShot(true);
    connect(m_paintLater, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });

    connect(LW->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { guarded([this] { LWSelectItem(); }); });
    connect(LW, &browser::ListView::clickedAnywhere, this, [this] { guarded([this] { LWClick(); }); });
    connect(LW, &browser::ListView::pressed, this, [this] { LWMouseDown(); });
    // The double click alone joins a server. The view's `activated` is not connected: it comes
    // with the same double click, with Enter, and under some desktop styles with a single click.
    connect(LW, &browser::ListView::doubleClickedAnywhere, this,
            [this] { guarded([this] { LWDblClick(); }); });
}

void TForm1::buildMenus()
{
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
    connect(LW, &browser::ListView::contextMenuWanted, this,
            [this](const QPoint& at) { PMServers->popup(at); });
}

void TForm1::setLiveSettings(options::LiveSettings* settings)
{
    m_settings = settings ? settings : m_defaultSettings.get();
    m_engine = std::make_unique<browser::ScanEngine>(m_state, *m_settings, *m_sink);
}

bool TForm1::oldServers() const
{
    return m_settings->scanOld();
}

int TForm1::scanMode() const
{
    return m_scanMode;
}

void TForm1::setScanMode(int index)
{
    index = std::clamp(index, -1, 1);
    if (index == m_scanMode)
        return;
    if (index < 0) {
        m_rgButtons->setExclusive(false);
        for (QAbstractButton* b : m_rgButtons->buttons())
            b->setChecked(false);
        m_rgButtons->setExclusive(true);
        m_scanMode = -1;
        guarded([this] { RGClick(); });
        return;
    }
    m_rgButtons->button(index)->setChecked(true); // runs RGClick through idToggled
}

void TForm1::RGClick()
{
    emit scanModeChanged(m_scanMode);
    if (m_storeScanMode)
        m_storeScanMode(m_scanMode);
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
    if (panel < 0 || panel >= 3)
        return;
    if (panel == 0)
        m_panel0Address.reset();
    if (panel == 1)
        m_panel1Count.reset();
    m_panelTexts[panel] = text;
    if (!m_panelFlush->isActive())
        m_panelFlush->start();
}

void TForm1::setStatusAddress(std::uint32_t address)
{
    m_panel0Address = address;
    if (!m_panelFlush->isActive())
        m_panelFlush->start();
}

void TForm1::setStatusCount(int count)
{
    m_panel1Count = count;
    if (!m_panelFlush->isActive())
        m_panelFlush->start();
}

QString TForm1::statusText(int panel) const
{
    if (panel == 0 && m_panel0Address)
        return browser::ScanEngine::addressStatus(*m_panel0Address);
    if (panel == 1 && m_panel1Count)
        return QString::number(*m_panel1Count);
    return panel >= 0 && panel < 3 ? m_panelTexts[panel] : QString();
}

void TForm1::onServerListed(int)
{
    if (m_servers->count() > 0 && !m_state.scanning)
        SBRefresh->setEnabled(true);
}

void TForm1::LWSelectItem()
{
    LW->setContextMenuAllowed(false);
    m_players->clear();
    m_rules->clear();
    const int row = LW->selectedRow();
    if (row < 0)
        return;
    if (m_servers->endpoint(row).port != 0)
        m_queries->sendDetailsRequest(m_servers->endpoint(row));
    SBPlay->setEnabled(true);
    SBAuto->setEnabled(true);
    Image->clear();
    Image->setPixmap(ui::pixmap(static_cast<int>(m_servers->server(row).kindImage), 32));
}

void TForm1::LWClick()
{
    if (LW->selectedRow() >= 0)
        return;
    SBPlay->setEnabled(false);
    if (!m_state.autoConnect)
        SBAuto->setEnabled(false);
    Image->clear();
    m_players->clear();
    m_rules->clear();
}

void TForm1::LWMouseDown()
{
    LW->setContextMenuAllowed(LW->selectedRow() >= 0);
}

void TForm1::LWDblClick()
{
    if (LW->selectedRow() < 0)
        return;
    if (m_settings->doubleClickConnects())
        SBPlayClick();
}

void TForm1::LWPlayersColumnClick(int column)
{
    if (column == browser::PlayersModel::Name)
        m_players->sortByName();
    else
        m_players->sortByKills();
}

void TForm1::LWColumnClick(int column)
{
    if (column == browser::ServerListModel::Ping)
        m_servers->sortByPing();
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

void TForm1::Options1Click()
{
    if (m_optionsWindow) {
        m_optionsWindow->show();
        m_optionsWindow->raise();
        m_optionsWindow->activateWindow();
    }
}

void TForm1::About1Click()
{
    if (m_aboutWindow) {
        m_aboutWindow->show();
        m_aboutWindow->raise();
    }
}

void TForm1::Hide1Click()
{
    hide();
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
    if (UDP)
        UDP->close();
    // The public lists' sockets and requests go with it.
    if (m_lists)
        m_lists->cancel();
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

// A sweep yields every millisecond and nearly every yield brings a reply that dirties the list;
// painting the window each time costs more than the probes. While a long operation runs, the
// window paints at most once every FrameMs: a request that comes sooner is held back, and the
// window asks again when it is due, so every change is still painted.
bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == LW->viewport() && event->type() == QEvent::Resize) {
        QHeaderView* header = LW->horizontalHeader();
        int others = 0;
        for (int c = 0; c < browser::ServerListModel::ColumnCount; ++c)
            if (c != browser::ServerListModel::Name)
                others += header->sectionSize(c);
        header->resizeSection(browser::ServerListModel::Name,
                              std::max(NameWidth, LW->viewport()->width() - others));
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::event(QEvent* event)
{
    if (event->type() == QEvent::UpdateRequest) {
        const qint64 since = m_sincePaint.isValid() ? m_sincePaint.elapsed() : FrameMs;
        if (m_state.running != LongOperation::None && since < FrameMs) {
            if (!m_paintLater->isActive())
                m_paintLater->start(int(FrameMs - since));
            return true;
        }
        m_sincePaint.start();
    }
    return QMainWindow::event(event);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    if (m_settings->autoScan())
        TimerFav.setEnabled(true);
    if (m_showHook)
        m_showHook(this);
}

void TForm1::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    if (!event->spontaneous())
        TimerFav.setEnabled(false);
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Activation through the task bar always shows the window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isVisible())
        show();
}

} // namespace vantry
