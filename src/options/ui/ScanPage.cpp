#include "ScanPage.h"

#include "options/Rules.h"
#include "options/ui/ArrowSpinBox.h"
#include "options/ui/IPv4Edit.h"
#include "options/ui/MasterSection.h"
#include "options/ui/OptionsWidgets.h"
#include "options/ui/PortEdit.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vantry::options {

using widgets::named;

ScanPage::ScanPage(QWidget* parent) : QWidget(parent)
{
    CBBroadcast = named(widgets::boldCheckBox(tr("Вещание"), this), "CBBroadcast");
    CBBroadcast->setChecked(true);
    CBOld = named(widgets::boldCheckBox(tr("Сканировать старые серверы"), this), "CBOld");
    CBOld->setToolTip(tr("Все CS1.5 и старые серверы CS1.6"));
    CBOld->setChecked(true);
    SpeedButton1 = named(new QToolButton(this), "SpeedButton1");
    SpeedButton1->setArrowType(Qt::UpArrow);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setToolTip(tr("Выше"));
    SpeedButton2 = named(new QToolButton(this), "SpeedButton2");
    SpeedButton2->setArrowType(Qt::DownArrow);
    SpeedButton2->setAutoRaise(true);
    SpeedButton2->setToolTip(tr("Ниже"));
    LWranges = named(widgets::reportList({QString(), tr("С IP:"), tr("До IP:")}, this), "LWranges");
    LWranges->setColumnWidth(0, 20);
    // 91 pixels at the design font; wider when the platform's font needs it for a full address.
    const int addressWidth =
        std::max(91, fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) + 12);
    LWranges->setColumnWidth(1, addressWidth);
    LWranges->setColumnWidth(2, addressWidth);
    LWranges->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    LWranges->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    LWranges->header()->setSectionsClickable(false);
    IPE1 = named(new IPv4Edit(this), "IPE1");
    IPE2 = named(new IPv4Edit(this), "IPE2");
    SpeedButton3 = named(new QToolButton(this), "SpeedButton3");
    SpeedButton3->setText(QStringLiteral("0..255"));
    SpeedButton3->setAutoRaise(true);
    SBDel = named(widgets::button(tr("Удалить"), this), "SBDel");
    SBAdd = named(widgets::button(tr("Добавить"), this), "SBAdd");
    CSport = named(new PortEdit(this), "CSport");
    CSport->setText(QStringLiteral("27015"));
    HLTVport = named(new PortEdit(this), "HLTVport");
    HLTVport->setText(QStringLiteral("27020"));
    SEDelay = named(new ArrowSpinBox(0, 30, 5, this), "SEDelay");
    m_master = new MasterSection(this);

    auto* ports = named(widgets::boldGroup(tr("Порты:"), this), "Ports");
    auto* portsGrid = new QGridLayout(ports);
    portsGrid->addWidget(new QLabel(tr("Игры"), ports), 0, 0);
    portsGrid->addWidget(CSport, 0, 1);
    portsGrid->addWidget(new QLabel(QStringLiteral("HLTV"), ports), 1, 0);
    portsGrid->addWidget(HLTVport, 1, 1);
    auto* delay = named(widgets::boldGroup(tr("Задержка"), this), "GroupBox1");
    auto* delayRow = new QHBoxLayout(delay);
    delayRow->addWidget(SEDelay);
    delayRow->addWidget(new QLabel(tr("мс"), delay));

    auto* moveColumn = new QVBoxLayout;
    moveColumn->addWidget(SpeedButton1);
    moveColumn->addWidget(SpeedButton2);
    moveColumn->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addLayout(moveColumn);
    listRow->addWidget(LWranges, 1);
    auto* entry = new QGridLayout;
    entry->addWidget(new QLabel(tr("С:"), this), 0, 0);
    entry->addWidget(IPE1, 0, 1);
    entry->addWidget(SBDel, 0, 2);
    entry->addWidget(new QLabel(tr("До:"), this), 1, 0);
    entry->addWidget(IPE2, 1, 1);
    entry->addWidget(SBAdd, 1, 2);
    entry->addWidget(SpeedButton3, 2, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(listRow, 1);
    left->addLayout(entry);
    auto* right = new QVBoxLayout;
    right->addWidget(CBBroadcast);
    right->addWidget(CBOld);
    right->addWidget(ports);
    right->addWidget(delay);
    right->addStretch();
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right);
    auto* page = new QVBoxLayout(this);
    page->addLayout(columns, 1);
    page->addWidget(m_master);

    connect(SBAdd, &QPushButton::clicked, this, [this] { SBAddClick(); });
    connect(SBDel, &QPushButton::clicked, this, [this] { SBDelClick(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
}

void ScanPage::load(const StoredSettings& s)
{
    CSport->setText(s.csPort);
    HLTVport->setText(s.hltvPort);
    CBOld->setChecked(s.scanOld);
    SEDelay->setValue(s.delay);
    CBBroadcast->setChecked(s.broadcast);
    LWranges->clear();
    for (const AddressRange& range : s.ranges)
        appendRange(range);
    m_master->load(s.master);
    m_master->loadRate(s.listRate);
}

void ScanPage::store(StoredSettings& s) const
{
    s.csPort = CSport->text();
    s.hltvPort = HLTVport->text();
    s.scanOld = CBOld->isChecked();
    s.delay = SEDelay->value();
    s.broadcast = CBBroadcast->isChecked();
    s.ranges = ranges();
    s.master = masterSource();
    s.listRate = listRate();
}

QVector<AddressRange> ScanPage::ranges() const
{
    QVector<AddressRange> list;
    for (int row = 0; row < LWranges->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = LWranges->topLevelItem(row);
        list.append({item->checkState(0) == Qt::Checked, item->text(1), item->text(2)});
    }
    return list;
}

int ScanPage::rangeCount() const
{
    return LWranges->topLevelItemCount();
}

QString ScanPage::gamePort() const
{
    return CSport->text();
}

QString ScanPage::hltvPort() const
{
    return HLTVport->text();
}

int ScanPage::delayMs() const
{
    return SEDelay->value();
}

bool ScanPage::broadcast() const
{
    return CBBroadcast->isChecked();
}

bool ScanPage::scanOld() const
{
    return CBOld->isChecked();
}

MasterSource ScanPage::masterSource() const
{
    return m_master->source();
}

int ScanPage::listRate() const
{
    return m_master->rate();
}

void ScanPage::appendRange(const AddressRange& range)
{
    auto* item = new QTreeWidgetItem(LWranges);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, range.checked ? Qt::Checked : Qt::Unchecked);
    item->setText(1, range.from);
    item->setText(2, range.to);
    item->setTextAlignment(1, Qt::AlignCenter);
    item->setTextAlignment(2, Qt::AlignCenter);
}

void ScanPage::TS2Show()
{
    IPE1->update();
    IPE2->update();
}

void ScanPage::SBAddClick()
{
    if (const QString problem = newRangeError(IPE1->value(), IPE2->value(), ranges()); !problem.isEmpty()) {
        widgets::error(problem);
        return;
    }
    appendRange({true, IPE1->text(), IPE2->text()});
    emit rangesEdited();
}

void ScanPage::SBDelClick()
{
    const int row = widgets::selectedRow(LWranges);
    if (row < 0)
        return;
    const int next = row > 0 ? row - 1 : 0;
    delete LWranges->takeTopLevelItem(row);
    LWranges->clearSelection();
    if (LWranges->topLevelItemCount() > 0)
        widgets::selectRow(LWranges, next);
    emit rangesEdited();
}

void ScanPage::swapRanges(int row, int other)
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
    widgets::selectRow(LWranges, other);
}

void ScanPage::SpeedButton1Click()
{
    const int row = widgets::selectedRow(LWranges);
    if (LWranges->topLevelItemCount() < 2 || row <= 0)
        return;
    LWranges->setUpdatesEnabled(false);
    swapRanges(row, row - 1);
    LWranges->setUpdatesEnabled(true);
}

void ScanPage::SpeedButton2Click()
{
    const int row = widgets::selectedRow(LWranges);
    if (LWranges->topLevelItemCount() < 2 || row < 0 || row + 1 >= LWranges->topLevelItemCount())
        return;
    LWranges->setUpdatesEnabled(false);
    swapRanges(row, row + 1);
    LWranges->setUpdatesEnabled(true);
}

void ScanPage::SpeedButton3Click()
{
    if (IPE1->text().isEmpty())
        return;
    for (int i = 0; i < 3; ++i)
        IPE2->setOctet(i, IPE1->octet(i));
    IPE2->setOctet(3, 255);
}

} // namespace vantry::options
