#include "Options.h"

#include "base/AppInfo.h"
#include "base/IniFile.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "options/FavouriteNames.h"
#include "options/SettingsHost.h"
#include "options/SettingsTable.h"
#include "options/StoredSettings.h"
#include "options/ui/FavouritesPage.h"
#include "options/ui/ScanPage.h"
#include "ui/Transparency.h"

#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vantry::options {

TSettings::TSettings(SettingsHost& host, QWidget* mainWindow, QWidget* parent)
    : QDialog(parent), m_host(host), m_mainWindow(mainWindow)
{
    setWindowTitle(tr("Настройки"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(false);
    // The design's 8-point font, in the platform's sans family.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    TS1 = new GeneralPage(PageControl);
    TS1->setObjectName(QStringLiteral("TS1"));
    connect(TS1, &GeneralPage::clientsChanged, this, &TSettings::clientsChanged);
    TS2 = new ScanPage(PageControl);
    TS2->setObjectName(QStringLiteral("TS2"));
    TS3 = new FavouritesPage(m_host, PageControl);
    TS3->setObjectName(QStringLiteral("TS3"));
    PageControl->addTab(TS1, tr("Основные"));
    PageControl->addTab(TS2, tr("Сканирование"));
    PageControl->addTab(TS3, tr("Избранное"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(PageControl);

    connect(PageControl, &QTabWidget::currentChanged, this, [this](int index) {
        setNoActivePage(false);
        if (isVisible())
            pageShown(index);
    });
    // With no page active, the tab that is current in name is picked by a click like any other.
    connect(PageControl, &QTabWidget::tabBarClicked, this, [this](int index) {
        if (!m_noActivePage || index != PageControl->currentIndex())
            return;
        setNoActivePage(false);
        if (isVisible())
            pageShown(index);
    });
    connect(TS2, &ScanPage::rangesEdited, this, &TSettings::saveRangeList);

    // Fixed size: at least the design client area, more when the platform's fonts need it.
    setFixedSize(sizeHint().expandedTo(QSize(328, 208)));

    ui::Transparency::registerWindow(m_mainWindow);
    ui::Transparency::registerWindow(this);
}

TSettings::~TSettings()
{
    FormDestroy();
}

IniFile& TSettings::store()
{
    if (!m_store)
        m_store = std::make_unique<IniFile>(settingsFilePath(), settings::secretKeys());
    return *m_store;
}

FavouriteNames& TSettings::favouriteNames()
{
    if (!m_names) {
        m_names = std::make_unique<FavouriteNames>(store());
        TS3->setNames(m_names.get());
    }
    return *m_names;
}

void TSettings::FormCreate()
{
    if (QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    // A store handed out before (the password prompt's) stays the same object: it only rereads.
    if (m_store)
        m_store->reload();
    applyLoaded(loadStoredSettings(store()));
    favouriteNames().reload();
    m_loaded = true;
}

void TSettings::applyLoaded(const StoredSettings& s)
{
    m_host.setScanMode(s.gameType);
    m_host.setWindowSize(s.windowSize);
    m_firstStart = s.firstStart;
    TS1->load(s);
    TS2->load(s);
    TS3->load(s);
    const bool knownPage = s.curPage >= 0 && s.curPage < PageControl->count();
    if (knownPage)
        PageControl->setCurrentIndex(s.curPage);
    setNoActivePage(!knownPage);
}

StoredSettings TSettings::collect() const
{
    StoredSettings s;
    s.gameType = m_host.scanMode();
    s.windowSize = m_host.windowSize();
    TS1->store(s);
    TS2->store(s);
    TS3->store(s);
    s.curPage = m_noActivePage ? -1 : PageControl->currentIndex();
    return s;
}

void TSettings::FormDestroy()
{
    // Only settings that were loaded are written back: saving the design values of a dialog that
    // never loaded would overwrite the user's file.
    if (m_saved || !m_loaded)
        return;
    m_saved = true;
    try {
        saveStoredSettings(store(), collect());
    } catch (const StoreWriteError& e) {
        standardError(e.text());
    }
}

void TSettings::storeScanMode(int index)
{
    try {
        settings::write(store(), settings::Key::GameType, index);
    } catch (const StoreWriteError& e) {
        standardError(e.text());
    }
}

void TSettings::saveRangeList()
{
    try {
        saveRanges(store(), ranges());
    } catch (const StoreWriteError& e) {
        standardError(e.text());
    }
}

void TSettings::standardError(const QString& text)
{
    prompter().message(appTitle(), standardErrorText(text), BoxIcon::Error);
}

void TSettings::setExecutableChooser(std::function<QString(QFileDialog&)> chooser)
{
    TS1->setExecutableChooser(std::move(chooser));
}

void TSettings::setClientOffers(ClientOffers offers, PickNotice notice)
{
    TS1->setClientOffers(std::move(offers), std::move(notice));
}

void TSettings::setXashOffers(GeneralPage::XashOffers offers)
{
    TS1->setXashOffers(std::move(offers));
}

void TSettings::setSharedClient(GeneralPage::SharedClient shared)
{
    TS1->setSharedClient(std::move(shared));
}

void TSettings::offerSteamCopies(const std::array<QString, 4>& paths, const QString& folder)
{
    TS1->offerSteamCopies(paths, folder);
}

QString TSettings::anyProgramFilter()
{
    return GeneralPage::anyProgramFilter();
}

void TSettings::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
    if (!m_noActivePage)
        pageShown(PageControl->currentIndex());
}

void TSettings::setNoActivePage(bool none)
{
    m_noActivePage = none;
    if (QWidget* page = PageControl->currentWidget())
        page->setVisible(!none);
}

void TSettings::pageShown(int index)
{
    if (index == 0)
        TS1Show();
    else if (index == 1)
        TS2Show();
}

void TSettings::FormShow()
{
    TS1->dialogShown();
    ui::Transparency::applyOnShow(this);
}

// LiveSettings, asked of the page that shows each setting.

QVector<AddressRange> TSettings::ranges() const
{
    return TS2->ranges();
}
QVector<Favourite> TSettings::favourites() const
{
    return TS3->favourites();
}
int TSettings::rangeCount() const
{
    return TS2->rangeCount();
}
QVector<FavouriteTarget> TSettings::favouriteTargets() const
{
    return TS3->favouriteTargets();
}

int TSettings::favouriteCount() const
{
    return TS3->favouriteCount();
}
QString TSettings::gamePort() const
{
    return TS2->gamePort();
}
QString TSettings::hltvPort() const
{
    return TS2->hltvPort();
}
int TSettings::delayMs() const
{
    return TS2->delayMs();
}
bool TSettings::broadcast() const
{
    return TS2->broadcast();
}
bool TSettings::scanOld() const
{
    return TS2->scanOld();
}
bool TSettings::doubleClickConnects() const
{
    return TS1->doubleClickConnects();
}
QString TSettings::gamePath(int slot) const
{
    return TS1->gamePath(slot);
}
QString TSettings::startParams(int slot) const
{
    return TS1->startParams(slot);
}

QString TSettings::launchWrapper(int slot) const
{
    return TS1->launchWrapper(slot);
}

QString TSettings::xashClient() const
{
    return TS1->xashClient();
}

bool TSettings::autoScan() const
{
    return TS3->autoScan();
}
int TSettings::updateIntervalSec() const
{
    return TS3->updateIntervalSec();
}
bool TSettings::addFavourite(const Favourite& favourite)
{
    return TS3->addFavourite(favourite);
}
MasterSource TSettings::masterSource() const
{
    return TS2->masterSource();
}
int TSettings::listRate() const
{
    return TS2->listRate();
}

QStringList TSettings::watchedPlayers() const
{
    return TS3->watchedPlayers();
}

// Handlers of the pages' controls, for code that performs a click.

void TSettings::TS1Show()
{
    TS1->TS1Show();
}
void TSettings::CBGameChange()
{
    TS1->CBGameChange();
}
void TSettings::SBExeClick()
{
    TS1->SBExeClick();
}
void TSettings::BitBtn2Click()
{
    TS1->BitBtn2Click();
}
void TSettings::BitBtn1Click()
{
    TS1->BitBtn1Click();
}
void TSettings::BBSaveClick()
{
    TS1->BBSaveClick();
}
void TSettings::CBTransClick()
{
    TS1->CBTransClick();
}
void TSettings::TBTransChange()
{
    TS1->TBTransChange();
}
void TSettings::TS2Show()
{
    TS2->TS2Show();
}
void TSettings::SBAddClick()
{
    TS2->SBAddClick();
}
void TSettings::SBDelClick()
{
    TS2->SBDelClick();
}
void TSettings::SpeedButton1Click()
{
    TS2->SpeedButton1Click();
}
void TSettings::SpeedButton2Click()
{
    TS2->SpeedButton2Click();
}
void TSettings::SpeedButton3Click()
{
    TS2->SpeedButton3Click();
}
void TSettings::SpeedButton4Click()
{
    TS3->SpeedButton4Click();
}
void TSettings::SpeedButton5Click()
{
    TS3->SpeedButton5Click();
}
void TSettings::LVFavColumnClick(int column)
{
    TS3->LVFavColumnClick(column);
}
void TSettings::CBAutoUpdateClick()
{
    TS3->CBAutoUpdateClick();
}
void TSettings::SEUpdIntervalChange()
{
    TS3->SEUpdIntervalChange();
}

} // namespace vantry::options
