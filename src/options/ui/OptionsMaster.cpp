// The options dialog's public server lists, on the scanning page: the source's switch, the Steam
// Web API key, the region of the masters' lists and the UDP masters the user adds.
#include "Options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace vantry::options {

namespace {

int selectedMaster(const QTreeWidget* list)
{
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : list->indexOfTopLevelItem(selected.constFirst());
}

} // namespace

QWidget* TSettings::buildMasterSource(QWidget* page)
{
    auto* box = new QWidget(page);
    CBMaster = new QCheckBox(tr("Мастер-сервер"), box);
    QFont bold = CBMaster->font();
    bold.setBold(true);
    CBMaster->setFont(bold);
    CBMaster->setToolTip(tr("Сначала получить список серверов от Steam и мастер-серверов"));
    CBRegion = new QComboBox(box);
    const QStringList regions = {tr("Все регионы"),   tr("США, восток"),    tr("США, запад"),
                                 tr("Южная Америка"), tr("Европа"),         tr("Азия"),
                                 tr("Австралия"),     tr("Ближний Восток"), tr("Африка")};
    for (std::size_t i = 0; i < MasterRegions.size(); ++i)
        CBRegion->addItem(regions[static_cast<qsizetype>(i)], MasterRegions[i]);
    EditSteamKey = new QLineEdit(box);
    EditSteamKey->setEchoMode(QLineEdit::Password);
    // Stars, as in the password prompt.
    EditSteamKey->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    CBShowKey = new QCheckBox(tr("Показать"), box);
    LWMasters = new QTreeWidget(box);
    LWMasters->setColumnCount(1);
    LWMasters->setHeaderLabels({tr("UDP мастер-серверы:")});
    LWMasters->setRootIsDecorated(false);
    LWMasters->setUniformRowHeights(true);
    LWMasters->setSelectionMode(QAbstractItemView::SingleSelection);
    LWMasters->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LWMasters->header()->setSectionsClickable(false);
    // Room for three masters; more scroll.
    LWMasters->setFixedHeight(LWMasters->header()->sizeHint().height() + 3 * fontMetrics().height() + 12);
    EditMaster = new QLineEdit(box);
    EditMaster->setPlaceholderText(QStringLiteral("host:27011"));
    SBMasterDel = new QPushButton(tr("Удалить"), box);
    SBMasterDel->setAutoDefault(false);
    SBMasterAdd = new QPushButton(tr("Добавить"), box);
    SBMasterAdd->setAutoDefault(false);

    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(CBMaster, 0, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Регион:"), box), 0, 2, Qt::AlignRight);
    grid->addWidget(CBRegion, 0, 3);
    grid->addWidget(new QLabel(tr("Ключ Steam:"), box), 1, 0);
    grid->addWidget(EditSteamKey, 1, 1, 1, 2);
    grid->addWidget(CBShowKey, 1, 3);
    grid->addWidget(LWMasters, 2, 0, 3, 2);
    grid->addWidget(EditMaster, 2, 2, 1, 2);
    grid->addWidget(SBMasterDel, 3, 2);
    grid->addWidget(SBMasterAdd, 3, 3);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    connect(SBMasterAdd, &QPushButton::clicked, this, [this] { SBMasterAddClick(); });
    connect(SBMasterDel, &QPushButton::clicked, this, [this] { SBMasterDelClick(); });
    connect(EditMaster, &QLineEdit::returnPressed, this, [this] { SBMasterAddClick(); });
    connect(CBShowKey, &QCheckBox::toggled, this, [this] { CBShowKeyClick(); });
    return box;
}

void TSettings::applyMaster(const MasterSource& source)
{
    m_master = source;
    CBMaster->setChecked(source.enabled);
    EditSteamKey->setText(source.steamKey);
    CBRegion->setCurrentIndex(std::max(0, CBRegion->findData(source.region)));
    LWMasters->clear();
    for (const QString& master : source.masters)
        new QTreeWidgetItem(LWMasters, {master});
}

MasterSource TSettings::masterSource() const
{
    MasterSource s = m_master;
    s.enabled = CBMaster->isChecked();
    s.steamKey = EditSteamKey->text().trimmed();
    s.region = CBRegion->currentData().toInt();
    s.masters.clear();
    for (int row = 0; row < LWMasters->topLevelItemCount(); ++row)
        s.masters.append(LWMasters->topLevelItem(row)->text(0));
    return s;
}

void TSettings::SBMasterAddClick()
{
    const MasterSource listed = masterSource();
    if (const QString problem = newMasterError(EditMaster->text(), listed.masters); !problem.isEmpty()) {
        error(problem);
        return;
    }
    LWMasters->setCurrentItem(new QTreeWidgetItem(LWMasters, {parseMasterEntry(EditMaster->text())->text()}));
    EditMaster->clear();
}

void TSettings::SBMasterDelClick()
{
    const int row = selectedMaster(LWMasters);
    if (row < 0)
        return;
    delete LWMasters->takeTopLevelItem(row);
    LWMasters->clearSelection();
    if (QTreeWidgetItem* next = LWMasters->topLevelItem(row > 0 ? row - 1 : 0)) {
        LWMasters->setCurrentItem(next);
        next->setSelected(true);
    }
}

void TSettings::CBShowKeyClick()
{
    EditSteamKey->setEchoMode(CBShowKey->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

} // namespace vantry::options
