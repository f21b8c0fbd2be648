#pragma once

#include "options/LiveSettings.h"
#include "options/StoredSettings.h"

#include <QList>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>
#include <utility>

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace vantry::options {

// The options dialog's general page: the game slots with their paths and start parameters, the
// double-click option and the windows' transparency.
class GeneralPage : public QWidget
{
    Q_OBJECT
public:
    using ClientOffers = std::function<QList<std::pair<QString, QString>>(int slot, QStringList* problems)>;
    using PickNotice = std::function<QString(int slot, const QString& path)>;
    // The Xash3D FWGS clients found on this machine: menu labels and the client paths.
    using XashOffers = std::function<QList<std::pair<QString, QString>>()>;
    // The path a GoldSrc slot gets from the client picked for another; empty: none fits.
    using SharedClient = std::function<QString(int slot, const QString& picked)>;

    explicit GeneralPage(QWidget* parent);

    void load(const StoredSettings& s);
    void store(StoredSettings& s) const;

    void setExecutableChooser(std::function<QString(QFileDialog&)> chooser);
    void setClientOffers(ClientOffers offers, PickNotice notice);
    void setXashOffers(XashOffers offers);
    void setSharedClient(SharedClient shared);
    static QString anyProgramFilter();

    // Steam's copies of the GoldSrc games (slots 0..3, empty where Steam lacks one), found at first
    // start in `folder`: offered for every GoldSrc slot at once while none has a client.
    void offerSteamCopies(const std::array<QString, 4>& paths, const QString& folder);

    bool doubleClickConnects() const;
    QString gamePath(int slot) const;
    QString startParams(int slot) const;
    QString launchWrapper(int slot) const;
    QString xashClient() const { return m_xashClient; }

    // The dialog was shown: nothing is left to save.
    void dialogShown();

    void TS1Show();
    void CBGameChange();
    void SBExeClick();
    void BitBtn2Click();
    void BitBtn1Click();
    void BBSaveClick();
    void CBTransClick();
    void TBTransChange();
    void SBXashClick();

signals:
    // A game's client or the Xash3D FWGS client was set or changed.
    void clientsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSlot(int slot);
    QString chooseClient(int slot);
    QString chooseFromMenu(QToolButton* button, const QList<std::pair<QString, QString>>& offers);
    // A GoldSrc client just picked: offered for the other GoldSrc slots while none has one.
    void offerForOtherSlots(int slot, const QString& path);
    void setPaths(const std::array<QString, GameSlotCount>& paths, const QString& question);

    QComboBox* CBGame = nullptr;
    QLineEdit* EditExe = nullptr;
    QToolButton* SBExe = nullptr;
    QLineEdit* EditParam = nullptr;
    QComboBox* CBParams = nullptr;
    QLineEdit* EditWrapper = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BBSave = nullptr;
    QCheckBox* CBDclick = nullptr;
    QCheckBox* CBTrans = nullptr;
    QSlider* TBTrans = nullptr;
    QLineEdit* EditXash = nullptr;
    QToolButton* SBXash = nullptr;
    QFileDialog* OD = nullptr;

    std::array<QString, GameSlotCount> m_gamePaths;
    std::array<QString, GameSlotCount> m_startParams;
    LaunchWrapperList m_wrappers;
    std::function<QString(QFileDialog&)> m_chooseExecutable;
    ClientOffers m_clientOffers;
    PickNotice m_pickNotice;
    QString m_xashClient;
    XashOffers m_xashOffers;
    SharedClient m_sharedClient;
};

} // namespace vantry::options
