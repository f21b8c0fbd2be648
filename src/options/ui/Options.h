#pragma once

#include "options/LiveSettings.h"
#include "options/ui/GeneralPage.h"

#include <QDialog>

#include <functional>
#include <memory>

class QFileDialog;
class QTabWidget;

namespace vantry {
class IniFile;
}

namespace vantry::options {

class FavouriteNames;
class FavouritesPage;
class ScanPage;
class SettingsHost;
struct StoredSettings;

// The options dialog. Created once and only hidden on close; its pages' controls are the live
// settings the rest of the program reads (through LiveSettings). It owns the settings store:
// FormCreate loads the file, FormDestroy writes it back (the destructor does so when nobody did).
// Its controls are private to the pages; they carry their design names as object names.
class TSettings : public QDialog, public LiveSettings
{
    Q_OBJECT
public:
    using ClientOffers = GeneralPage::ClientOffers;
    using PickNotice = GeneralPage::PickNotice;

    TSettings(SettingsHost& host, QWidget* mainWindow, QWidget* parent = nullptr);
    ~TSettings() override;

    void FormCreate();
    // Writes the settings once; a refused write is shown in the standard error box.
    void FormDestroy();
    // The store of the settings file, also for the password prompt's section.
    IniFile& store();
    // The favourites' last answers, over the same store.
    FavouriteNames& favouriteNames();
    // Called at each change of the main window's scan mode.
    void storeScanMode(int index);

    // Picks the game executable; the default runs the file dialog `OD` and returns the chosen
    // path, or an empty text on cancel. Tests answer in its place.
    void setExecutableChooser(std::function<QString(QFileDialog&)> chooser);

    // Game clients the browse button offers beside a file: for a slot, menu labels and the game
    // paths they stand for (Steam's copies of the slot's game), with the problems met on the way;
    // and what the user should know of a path just picked (empty: nothing). The program installs
    // both; without offers the button runs the file dialog at once, as it does where none exist.
    void setClientOffers(ClientOffers offers, PickNotice notice);
    // The Xash3D FWGS clients its browse button offers, and the path another GoldSrc slot gets from
    // a client just picked (both: no offer without them, the same file for every slot).
    void setXashOffers(GeneralPage::XashOffers offers);
    void setSharedClient(GeneralPage::SharedClient shared);
    // The settings file did not exist before this run.
    bool firstStart() const { return m_firstStart; }
    // At first start: Steam's copies of the GoldSrc games, offered for all their slots at once.
    void offerSteamCopies(const std::array<QString, 4>& paths, const QString& folder);
    // The file dialog's second filter, which lists every file the user may run: as the dialog
    // shows it, and so as it reports it chosen, in the window's language.
    static QString anyProgramFilter();

    // LiveSettings
    QVector<AddressRange> ranges() const override;
    QVector<Favourite> favourites() const override;
    QVector<FavouriteTarget> favouriteTargets() const override;
    int rangeCount() const override;
    int favouriteCount() const override;
    QString gamePort() const override;
    QString hltvPort() const override;
    int delayMs() const override;
    bool broadcast() const override;
    bool scanOld() const override;
    bool doubleClickConnects() const override;
    QString gamePath(int slot) const override;
    QString startParams(int slot) const override;
    QString launchWrapper(int slot) const override;
    QString xashClient() const override;
    bool autoScan() const override;
    int updateIntervalSec() const override;
    bool addFavourite(const Favourite& favourite) override;
    MasterSource masterSource() const override;
    int listRate() const override;
    QStringList watchedPlayers() const override;

    // Handlers; those of the pages' controls run on the pages.
    void FormShow();
    void TS1Show();
    void CBGameChange();
    void SBExeClick();
    void BitBtn2Click();
    void BitBtn1Click();
    void BBSaveClick();
    void CBTransClick();
    void TBTransChange();
    void TS2Show();
    void SBAddClick();
    void SBDelClick();
    void SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void LVFavColumnClick(int column);
    void CBAutoUpdateClick();
    void SEUpdIntervalChange();

signals:
    // A game's client or the Xash3D FWGS client was set or changed.
    void clientsChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void applyLoaded(const StoredSettings& s);
    StoredSettings collect() const;
    void pageShown(int index);
    // A stored page outside 0..2 leaves no page active (none shown) until the user picks one.
    void setNoActivePage(bool none);
    void saveRangeList();
    void standardError(const QString& text);

    SettingsHost& m_host;
    QWidget* m_mainWindow;
    QTabWidget* PageControl = nullptr;
    GeneralPage* TS1 = nullptr;
    ScanPage* TS2 = nullptr;
    FavouritesPage* TS3 = nullptr;
    std::unique_ptr<IniFile> m_store;
    std::unique_ptr<FavouriteNames> m_names;
    bool m_loaded = false;
    bool m_saved = false;
    bool m_noActivePage = false;
    bool m_firstStart = false;
};

} // namespace vantry::options
