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

    explicit GeneralPage(QWidget* parent);

    void load(const StoredSettings& s);
    void store(StoredSettings& s) const;

    void setExecutableChooser(std::function<QString(QFileDialog&)> chooser);
    void setClientOffers(ClientOffers offers, PickNotice notice);
    static QString anyProgramFilter();

    bool doubleClickConnects() const;
    QString gamePath(int slot) const;
    QString startParams(int slot) const;
    QString launchWrapper(int slot) const;

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSlot(int slot);
    QString chooseClient(int slot);

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
    QFileDialog* OD = nullptr;

    std::array<QString, GameSlotCount> m_gamePaths;
    std::array<QString, GameSlotCount> m_startParams;
    LaunchWrapperList m_wrappers;
    std::function<QString(QFileDialog&)> m_chooseExecutable;
    ClientOffers m_clientOffers;
    PickNotice m_pickNotice;
};

} // namespace vantry::options
