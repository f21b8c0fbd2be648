// The options dialog's settings: loading, saving, and the live settings read by other code.
#include "Options.h"
#include "base/AppInfo.h"
#include "base/IniFile.h"
#include "base/IntervalTimer.h"
#include "base/Prompter.h"
#include "base/SettingsFile.h"
#include "options/Rules.h"
#include "options/SettingsHost.h"
#include "options/SettingsTable.h"
#include "options/ui/PortEdit.h"
#include "ui/Transparency.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

static_assert(vantry::options::MinimumVisibleLevel == vantry::ui::Transparency::MinimumLevel,
              "a loaded level and a level set in the dialog have the same floor");

namespace vantry::options {

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

void TSettings::FormCreate()
{
    if (QScreen* display = screen())
        move(display->availableGeometry().center() - rect().center());
    // A store handed out before (the password prompt's) stays the same object: it only rereads.
    if (m_store)
        m_store->reload();
    applyLoaded(loadStoredSettings(store()));
    m_loaded = true;
}

void TSettings::applyLoaded(const StoredSettings& s)
{
    m_host.setScanMode(s.gameType);
    m_gamePaths = s.gamePaths;
    m_startParams = s.startParams;
    m_host.setWindowSize(s.windowSize);
    CBGame->setCurrentIndex(s.curItem);
    showSlot(s.curItem);
    CSport->setText(s.csPort);
    LVFav->setColumnWidth(0, s.favWidth);
    HLTVport->setText(s.hltvPort);
    CBOld->setChecked(s.scanOld);
    SEDelay->setValue(s.delay);
    ui::Transparency::setOn(s.trans);
    CBAutoUpdate->setChecked(s.favAutoScan); // runs CBAutoUpdateClick when it changes
    SEUpdInterval->setValue(s.updInterval);  // runs SEUpdIntervalChange when it changes
    if (CBAutoUpdate->isChecked()) {
        // The first favourites pass right after start-up; it then sets the user's interval.
        m_host.favouritesTimer().setInterval(200);
        m_host.favouritesTimer().setEnabled(true);
    }
    const bool knownPage = s.curPage >= 0 && s.curPage < PageControl->count();
    if (knownPage)
        PageControl->setCurrentIndex(s.curPage);
    setNoActivePage(!knownPage);
    CBBroadcast->setChecked(s.broadcast);
    ui::Transparency::setLevel(s.transLevel);
    CBDclick->setChecked(s.doubleClick);
    CBTrans->setChecked(s.trans); // runs CBTransClick when it changes
    TBTrans->setEnabled(ui::Transparency::on());
    CBParams->clear();
    CBParams->addItems(s.paramChoices);
    CBParams->setCurrentIndex(-1);
    LWranges->clear();
    for (const AddressRange& range : s.ranges)
        appendRange(range);
    LVFav->clear();
    for (const Favourite& favourite : s.favourites)
        appendFavourite(favourite);
    applyMaster(s.master);
}

StoredSettings TSettings::collect() const
{
    StoredSettings s;
    s.gameType = m_host.scanMode();
    s.gamePaths = m_gamePaths;
    s.startParams = m_startParams;
    s.windowSize = m_host.windowSize();
    s.curItem = CBGame->currentIndex();
    s.csPort = CSport->text();
    s.favWidth = LVFav->columnWidth(0);
    s.hltvPort = HLTVport->text();
    s.scanOld = CBOld->isChecked();
    s.delay = SEDelay->value();
    s.trans = CBTrans->isChecked();
    s.favAutoScan = CBAutoUpdate->isChecked();
    s.updInterval = SEUpdInterval->value();
    s.curPage = m_noActivePage ? -1 : PageControl->currentIndex();
    s.broadcast = CBBroadcast->isChecked();
    s.transLevel = ui::Transparency::level();
    s.doubleClick = CBDclick->isChecked();
    s.paramChoices.clear();
    for (int i = 0; i < CBParams->count(); ++i)
        s.paramChoices.append(CBParams->itemText(i));
    s.ranges = ranges();
    s.favourites = favourites();
    s.master = masterSource();
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

void TSettings::error(const QString& text)
{
    prompter().message(QStringLiteral("Error"), text, BoxIcon::None);
}

void TSettings::standardError(const QString& text)
{
    prompter().message(appTitle(), standardErrorText(text), BoxIcon::Error);
}

void TSettings::appendRange(const AddressRange& range)
{
    auto* item = new QTreeWidgetItem(LWranges);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, range.checked ? Qt::Checked : Qt::Unchecked);
    item->setText(1, range.from);
    item->setText(2, range.to);
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(2, Qt::AlignCenter);
}

void TSettings::appendFavourite(const Favourite& favourite)
{
    auto* item = new QTreeWidgetItem(LVFav);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setText(0, favourite.address);
    item->setText(1, favourite.port);
    item->setTextAlignment(1, Qt::AlignCenter);
}

QVector<AddressRange> TSettings::ranges() const
{
    QVector<AddressRange> list;
    for (int row = 0; row < LWranges->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = LWranges->topLevelItem(row);
        list.append({item->checkState(0) == Qt::Checked, item->text(1), item->text(2)});
    }
    return list;
}

QVector<Favourite> TSettings::favourites() const
{
    QVector<Favourite> list;
    for (int row = 0; row < LVFav->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = LVFav->topLevelItem(row);
        list.append({item->text(0), item->text(1)});
    }
    return list;
}

int TSettings::rangeCount() const
{
    return LWranges->topLevelItemCount();
}

int TSettings::favouriteCount() const
{
    return LVFav->topLevelItemCount();
}

QString TSettings::gamePort() const
{
    return CSport->text();
}

QString TSettings::hltvPort() const
{
    return HLTVport->text();
}

int TSettings::delayMs() const
{
    return SEDelay->value();
}

bool TSettings::broadcast() const
{
    return CBBroadcast->isChecked();
}

bool TSettings::scanOld() const
{
    return CBOld->isChecked();
}

bool TSettings::doubleClickConnects() const
{
    return CBDclick->isChecked();
}

QString TSettings::gamePath(int slot) const
{
    return slot >= 0 && slot < GameSlotCount ? m_gamePaths[static_cast<std::size_t>(slot)] : QString();
}

QString TSettings::startParams(int slot) const
{
    return slot >= 0 && slot < GameSlotCount ? m_startParams[static_cast<std::size_t>(slot)] : QString();
}

bool TSettings::autoScan() const
{
    return CBAutoUpdate->isChecked();
}

int TSettings::updateIntervalSec() const
{
    return SEUpdInterval->value();
}

bool TSettings::addFavourite(const Favourite& favourite)
{
    if (containsFavourite(favourites(), favourite))
        return false;
    appendFavourite(favourite);
    return true;
}

} // namespace vantry::options
