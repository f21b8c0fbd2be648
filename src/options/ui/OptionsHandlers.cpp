// The options dialog's event handlers: general, scanning and favourites pages.
#include "Options.h"
#include "base/IntervalTimer.h"
#include "options/SettingsTable.h"
#include "options/Rules.h"
#include "options/SettingsHost.h"
#include "options/ui/IPv4Edit.h"
#include "options/ui/PortEdit.h"
#include "ui/Transparency.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>

namespace vantry::options {

namespace {

bool isSlot(int slot)
{
    return slot >= 0 && slot < GameSlotCount;
}

// "Description|PATTERN" as Qt writes a name filter: "Description (PATTERN)".
QString nameFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    return filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + u')';
}

int selectedRow(const QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.constFirst());
}

void selectRow(QTreeWidget* list, int row)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        list->setCurrentItem(item);
        item->setSelected(true);
    }
}

} // namespace

// General page

void TSettings::FormShow()
{
    BBSave->setEnabled(false);
    ui::Transparency::applyOnShow(this);
}

void TSettings::TS1Show()
{
    TBTrans->setValue(ui::Transparency::level());
    // The track bar raises a level below its minimum without reporting a change when its position
    // was already there; the level follows the position in every case.
    if (TBTrans->value() != ui::Transparency::level())
        TBTransChange();
}

void TSettings::showSlot(int slot)
{
    EditExe->setText(isSlot(slot) ? m_gamePaths[static_cast<std::size_t>(slot)] : QString());
    EditParam->setText(isSlot(slot) ? m_startParams[static_cast<std::size_t>(slot)] : QString());
}

void TSettings::CBGameChange()
{
    showSlot(CBGame->currentIndex());
}

QString TSettings::anyProgramFilter()
{
    return tr("Все программы (*)");
}

void TSettings::SBExeClick()
{
    // The Windows name first, as the file is called there, then the Linux clients' names.
    const int slot = CBGame->currentIndex();
    if (slot >= 0 && slot <= 3)
        OD->setNameFilters(
            {nameFilter(QStringLiteral("Half-Life (hl.exe hl_linux hl.sh)|HL.EXE hl_linux hl.sh")),
             anyProgramFilter()});
    else if (slot >= 4 && slot <= 5)
        OD->setNameFilters(
            {nameFilter(QStringLiteral("Half-Life2 (hl2.exe hl2_linux hl2.sh)|HL2.EXE hl2_linux hl2.sh")),
             anyProgramFilter()});
    const QString path = chooseClient(slot);
    if (path.isEmpty())
        return;
    EditExe->setText(path);
    BBSave->setEnabled(true);
    if (m_pickNotice && isSlot(slot))
        if (const QString notice = m_pickNotice(slot, path); !notice.isEmpty())
            error(notice);
}

// The offered clients in a menu under the button, the file dialog behind its last item; the file
// dialog at once when nothing is offered.
QString TSettings::chooseClient(int slot)
{
    if (!m_clientOffers || !isSlot(slot))
        return m_chooseExecutable(*OD);
    QStringList problems;
    const QList<std::pair<QString, QString>> offers = m_clientOffers(slot, &problems);
    if (!problems.isEmpty())
        error(problems.join(u'\n'));
    if (offers.isEmpty())
        return m_chooseExecutable(*OD);
    QMenu menu(SBExe);
    for (const auto& [label, path] : offers)
        menu.addAction(label)->setData(path);
    menu.addSeparator();
    const QAction* browse = menu.addAction(tr("Обзор..."));
    const QAction* chosen = menu.exec(SBExe->mapToGlobal(QPoint(0, SBExe->height())));
    if (!chosen)
        return {};
    if (chosen == browse)
        return m_chooseExecutable(*OD);
    return chosen->data().toString();
}

void TSettings::BitBtn2Click()
{
    const QString choice = CBParams->currentText();
    if (choice.isEmpty())
        return;
    EditParam->setText(EditParam->text() + u' ' + choice);
    BBSave->setEnabled(true);
}

void TSettings::BitBtn1Click()
{
    const int slot = CBGame->currentIndex();
    if (!isSlot(slot))
        return;
    const QString before = EditParam->text();
    EditParam->setText(settings::defaultStartParams(slot));
    if (EditParam->text() != before)
        BBSave->setEnabled(true);
}

void TSettings::BBSaveClick()
{
    const int slot = CBGame->currentIndex();
    if (isSlot(slot)) {
        m_gamePaths[static_cast<std::size_t>(slot)] = EditExe->text();
        m_startParams[static_cast<std::size_t>(slot)] = EditParam->text();
    }
    BBSave->setEnabled(false);
}

void TSettings::CBTransClick()
{
    const bool on = CBTrans->isChecked();
    ui::Transparency::setOn(on);
    TBTrans->setEnabled(on);
}

void TSettings::TBTransChange()
{
    ui::Transparency::setLevel(TBTrans->value());
}

// Scanning page

void TSettings::TS2Show()
{
    IPE1->update();
    IPE2->update();
}

void TSettings::SBAddClick()
{
    if (const QString problem = newRangeError(IPE1->value(), IPE2->value(), ranges()); !problem.isEmpty()) {
        error(problem);
        return;
    }
    appendRange({true, IPE1->text(), IPE2->text()});
    saveRangeList();
}

void TSettings::SBDelClick()
{
    const int row = selectedRow(LWranges);
    if (row < 0)
        return;
    const int next = row > 0 ? row - 1 : 0;
    delete LWranges->takeTopLevelItem(row);
    LWranges->clearSelection();
    if (LWranges->topLevelItemCount() > 0)
        selectRow(LWranges, next);
    saveRangeList();
}

void TSettings::swapRanges(int row, int other)
{
    QTreeWidgetItem* a = LWranges->topLevelItem(row);
    QTreeWidgetItem* b = LWranges->topLevelItem(other);
    const Qt::CheckState checked = a->checkState(0);
    const QString from = a->text(1);
    const QString to = a->text(2);
    a->setCheckState(0, b->checkState(0));
    a->setText(1, b->text(1));
    a->setText(2, b->text(2));
    b->setCheckState(0, checked);
    b->setText(1, from);
    b->setText(2, to);
    LWranges->clearSelection();
    selectRow(LWranges, other);
}

void TSettings::SpeedButton1Click()
{
    const int row = selectedRow(LWranges);
    if (LWranges->topLevelItemCount() < 2 || row <= 0)
        return;
    LWranges->setUpdatesEnabled(false);
    swapRanges(row, row - 1);
    LWranges->setUpdatesEnabled(true);
}

void TSettings::SpeedButton2Click()
{
    const int row = selectedRow(LWranges);
    if (LWranges->topLevelItemCount() < 2 || row < 0 || row + 1 >= LWranges->topLevelItemCount())
        return;
    LWranges->setUpdatesEnabled(false);
    swapRanges(row, row + 1);
    LWranges->setUpdatesEnabled(true);
}

void TSettings::SpeedButton3Click()
{
    if (IPE1->text().isEmpty())
        return;
    for (int i = 0; i < 3; ++i)
        IPE2->setOctet(i, IPE1->octet(i));
    IPE2->setOctet(3, 255);
}

// Favourites page

void TSettings::SpeedButton4Click()
{
    if (const QString problem = newFavouriteError(GHIP->value(), MEPort->text(), favourites());
        !problem.isEmpty()) {
        error(problem);
        return;
    }
    appendFavourite({GHIP->text(), MEPort->text()});
}

void TSettings::SpeedButton5Click()
{
    const int row = selectedRow(LVFav);
    if (row < 0)
        return;
    delete LVFav->takeTopLevelItem(row);
    LVFav->clearSelection();
}

void TSettings::LVFavColumnClick(int column)
{
    QTreeWidgetItem* selected = LVFav->selectedItems().value(0);
    QList<QTreeWidgetItem*> items;
    while (LVFav->topLevelItemCount() > 0)
        items.append(LVFav->takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(),
                     [column](const QTreeWidgetItem* a, const QTreeWidgetItem* b) {
                         return column == 0 ? compareAddressText(a->text(0), b->text(0)) < 0
                                            : comparePortText(a->text(1), b->text(1)) < 0;
                     });
    LVFav->addTopLevelItems(items);
    if (selected) {
        LVFav->setCurrentItem(selected);
        selected->setSelected(true);
    }
}

void TSettings::CBAutoUpdateClick()
{
    if (CBAutoUpdate->isChecked()) {
        m_host.favouritesTimer().setEnabled(true);
        m_host.setStatusText(2, QStringLiteral(" Autoscan enabled"));
    } else {
        m_host.favouritesTimer().setEnabled(false);
        m_host.setStatusText(0, QString());
        m_host.setStatusText(2, QStringLiteral(" Autoscan disabled"));
    }
}

void TSettings::SEUpdIntervalChange()
{
    if (SEUpdInterval->value() >= 5)
        m_host.favouritesTimer().setInterval(SEUpdInterval->value() * 1000);
}

} // namespace vantry::options
