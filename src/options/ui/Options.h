#pragma once

#include "options/LiveSettings.h"
#include "options/StoredSettings.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <utility>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantry {
class IniFile;
}

namespace vantry::options {

class IPv4Edit;
class PortEdit;
class SettingsHost;

// The options dialog. Created once and only hidden on close; its controls are the live settings
// the rest of the program reads (through LiveSettings). It owns the settings store: FormCreate
// loads the file, FormDestroy writes it back (the destructor does so when nobody did).
class TSettings : public QDialog, public LiveSettings
{
    Q_OBJECT
public:
    TSettings(SettingsHost& host, QWidget* mainWindow, QWidget* parent = nullptr);
    ~TSettings() override;

    void FormCreate();
    // Writes the settings once; a refused write is shown in the standard error box.
    void FormDestroy();
    // The store of the settings file, also for the password prompt's section.
    IniFile& store();
    // Called at each change of the main window's scan mode.
    void storeScanMode(int index);

    // Picks the game executable; the default runs the file dialog `OD` and returns the chosen
    // path, or an empty text on cancel. Tests answer in its place.
    void setExecutableChooser(std::function<QString(QFileDialog&)> chooser)
    {
        m_chooseExecutable = std::move(chooser);
    }

    // Game clients the browse button offers beside a file: for a slot, menu labels and the game
    // paths they stand for (Steam's copies of the slot's game), with the problems met on the way;
    // and what the user should know of a path just picked (empty: nothing). The program installs
    // both; without offers the button runs the file dialog at once, as it does where none exist.
    using ClientOffers = std::function<QList<std::pair<QString, QString>>(int slot, QStringList* problems)>;
    using PickNotice = std::function<QString(int slot, const QString& path)>;
    void setClientOffers(ClientOffers offers, PickNotice notice)
    {
        m_clientOffers = std::move(offers);
        m_pickNotice = std::move(notice);
    }
    // The file dialog's second filter, which lists every file the user may run: as the dialog
    // shows it, and so as it reports it chosen, in the window's language.
    static QString anyProgramFilter();

    // LiveSettings
    QVector<AddressRange> ranges() const override;
    QVector<Favourite> favourites() const override;
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
    bool autoScan() const override;
    int updateIntervalSec() const override;
    bool addFavourite(const Favourite& favourite) override;
    MasterSource masterSource() const override;

    // Handlers
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
    void SBMasterAddClick();
    void SBMasterDelClick();
    void CBShowKeyClick();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void LVFavColumnClick(int column);
    void CBAutoUpdateClick();
    void SEUpdIntervalChange();

    // Controls
    QTabWidget* PageControl = nullptr;
    QWidget* TS1 = nullptr;
    QWidget* TS2 = nullptr;
    QWidget* TS3 = nullptr;
    QComboBox* CBGame = nullptr;
    QLineEdit* EditExe = nullptr;
    QToolButton* SBExe = nullptr;
    QLineEdit* EditParam = nullptr;
    QComboBox* CBParams = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BBSave = nullptr;
    QCheckBox* CBDclick = nullptr;
    QCheckBox* CBTrans = nullptr;
    QSlider* TBTrans = nullptr;
    QFileDialog* OD = nullptr;

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
    // The public server lists: the source's switch, the Web API key, the region, the UDP masters.
    QCheckBox* CBMaster = nullptr;
    QLineEdit* EditSteamKey = nullptr;
    QCheckBox* CBShowKey = nullptr;
    QComboBox* CBRegion = nullptr;
    QTreeWidget* LWMasters = nullptr;
    QLineEdit* EditMaster = nullptr;
    QPushButton* SBMasterDel = nullptr;
    QPushButton* SBMasterAdd = nullptr;

    QTreeWidget* LVFav = nullptr;
    QCheckBox* CBAutoUpdate = nullptr;
    QSpinBox* SEUpdInterval = nullptr;
    IPv4Edit* GHIP = nullptr;
    PortEdit* MEPort = nullptr;
    QPushButton* SpeedButton5 = nullptr;
    QPushButton* SpeedButton4 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGeneralPage();
    void buildScanPage();
    QWidget* buildMasterSource(QWidget* page);
    void applyMaster(const MasterSource& source);
    void buildFavouritesPage();
    void connectHandlers();
    void applyLoaded(const StoredSettings& s);
    StoredSettings collect() const;
    void pageShown(int index);
    // A stored page outside 0..2 leaves no page active (none shown) until the user picks one.
    void setNoActivePage(bool none);
    std::pair<int, int> portColumnLimits() const;
    void showSlot(int slot);
    QString chooseClient(int slot);
    void appendRange(const AddressRange& range);
    void appendFavourite(const Favourite& favourite);
    void swapRanges(int row, int other);
    void saveRangeList();
    void error(const QString& text);
    void standardError(const QString& text);

    SettingsHost& m_host;
    QWidget* m_mainWindow;
    std::unique_ptr<IniFile> m_store;
    std::array<QString, GameSlotCount> m_gamePaths;
    std::array<QString, GameSlotCount> m_startParams;
    std::function<QString(QFileDialog&)> m_chooseExecutable;
    ClientOffers m_clientOffers;
    PickNotice m_pickNotice;
    bool m_loaded = false;
    bool m_saved = false;
    bool m_noActivePage = false;
    // What the file holds of the source that the page does not show (the Web API's address, the
    // masters' pace): written back as it came.
    MasterSource m_master;
};

} // namespace vantry::options
