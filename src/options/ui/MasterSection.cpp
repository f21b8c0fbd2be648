#include "MasterSection.h"

#include "options/LiveSettings.h"
#include "options/ui/OptionsWidgets.h"
#include "options/ui/XashSection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

namespace vantry::options {

using widgets::named;

MasterSection::MasterSection(QWidget* parent) : QWidget(parent)
{
    CBMaster = named(widgets::boldCheckBox(tr("Мастер-сервер"), this), "CBMaster");
    CBMaster->setToolTip(tr("Сначала получить список серверов от Steam и мастер-серверов"));
    CBRegion = named(new QComboBox(this), "CBRegion");
    const QStringList regions = {tr("Все регионы"),   tr("США, восток"),    tr("США, запад"),
                                 tr("Южная Америка"), tr("Европа"),         tr("Азия"),
                                 tr("Австралия"),     tr("Ближний Восток"), tr("Африка")};
    for (std::size_t i = 0; i < MasterRegions.size(); ++i)
        CBRegion->addItem(regions[static_cast<qsizetype>(i)], MasterRegions[i]);
    EditSteamKey = named(new QLineEdit(this), "EditSteamKey");
    EditSteamKey->setEchoMode(QLineEdit::Password);
    // Stars, as in the password prompt.
    EditSteamKey->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    CBShowKey = named(new QCheckBox(tr("Показать"), this), "CBShowKey");
    LWMasters = named(new QTreeWidget(this), "LWMasters");
    LWMasters->setColumnCount(1);
    LWMasters->setHeaderLabels({tr("UDP мастер-серверы:")});
    LWMasters->setRootIsDecorated(false);
    LWMasters->setUniformRowHeights(true);
    LWMasters->setSelectionMode(QAbstractItemView::SingleSelection);
    LWMasters->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LWMasters->header()->setSectionsClickable(false);
    // Room for three masters; more scroll.
    LWMasters->setFixedHeight(LWMasters->header()->sizeHint().height() + 3 * fontMetrics().height() + 12);
    EditMaster = named(new QLineEdit(this), "EditMaster");
    EditMaster->setPlaceholderText(QStringLiteral("host:27011"));
    SBMasterDel = named(widgets::button(tr("Удалить"), this), "SBMasterDel");
    SBMasterAdd = named(widgets::button(tr("Добавить"), this), "SBMasterAdd");
    SERate = named(new QSpinBox(this), "SERate");
    SERate->setRange(0, MaxListRate);
    SERate->setValue(DefaultListRate);
    SERate->setSingleStep(100);
    SERate->setSpecialValueText(tr("автоматически"));
    SERate->setToolTip(tr("Не больше стольких серверов из списков в секунду; «автоматически»: "
                          "столько, сколько выдерживает связь"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(CBMaster, 0, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Регион:"), this), 0, 2, Qt::AlignRight);
    grid->addWidget(CBRegion, 0, 3);
    grid->addWidget(new QLabel(tr("Ключ Steam:"), this), 1, 0);
    grid->addWidget(EditSteamKey, 1, 1, 1, 2);
    grid->addWidget(CBShowKey, 1, 3);
    grid->addWidget(LWMasters, 2, 0, 3, 2);
    grid->addWidget(EditMaster, 2, 2, 1, 2);
    grid->addWidget(SBMasterDel, 3, 2);
    grid->addWidget(SBMasterAdd, 3, 3);
    auto* rateLabel = new QLabel(tr("Серверов в секунду:"), this);
    rateLabel->setBuddy(SERate);
    grid->addWidget(rateLabel, 4, 2, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(SERate, 4, 3, Qt::AlignTop);
    // Where the key for the Steam list comes from, for a user who has none yet.
    auto* keyHint =
        named(new QLabel(tr("Ключ Steam Web API: steamcommunity.com/dev/apikey"), this), "LabelKeyHint");
    keyHint->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(keyHint, 5, 0, 1, 4);
    m_xash = new XashSection(this);
    grid->addWidget(m_xash, 6, 0, 1, 4);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    connect(SBMasterAdd, &QPushButton::clicked, this, [this] { SBMasterAddClick(); });
    connect(SBMasterDel, &QPushButton::clicked, this, [this] { SBMasterDelClick(); });
    connect(EditMaster, &QLineEdit::returnPressed, this, [this] { SBMasterAddClick(); });
    connect(CBShowKey, &QCheckBox::toggled, this, [this] { CBShowKeyClick(); });
}

void MasterSection::load(const MasterSource& source)
{
    m_loaded = source;
    CBMaster->setChecked(source.enabled);
    EditSteamKey->setText(source.steamKey);
    CBRegion->setCurrentIndex(std::max(0, CBRegion->findData(source.region)));
    LWMasters->clear();
    for (const QString& master : source.masters)
        new QTreeWidgetItem(LWMasters, {master});
    m_xash->load(source.xash);
}

MasterSource MasterSection::source() const
{
    MasterSource s = m_loaded;
    s.enabled = CBMaster->isChecked();
    s.steamKey = EditSteamKey->text().trimmed();
    s.region = CBRegion->currentData().toInt();
    s.masters.clear();
    for (int row = 0; row < LWMasters->topLevelItemCount(); ++row)
        s.masters.append(LWMasters->topLevelItem(row)->text(0));
    s.xash = m_xash->source();
    return s;
}

void MasterSection::loadRate(int perSecond)
{
    SERate->setValue(clampedListRate(perSecond));
}

int MasterSection::rate() const
{
    return SERate->value();
}

void MasterSection::SBMasterAddClick()
{
    const MasterSource listed = source();
    if (const QString problem = newMasterError(EditMaster->text(), listed.masters); !problem.isEmpty()) {
        widgets::error(problem);
        return;
    }
    LWMasters->setCurrentItem(new QTreeWidgetItem(LWMasters, {parseMasterEntry(EditMaster->text())->text()}));
    EditMaster->clear();
}

void MasterSection::SBMasterDelClick()
{
    const int row = widgets::selectedRow(LWMasters);
    if (row < 0)
        return;
    delete LWMasters->takeTopLevelItem(row);
    LWMasters->clearSelection();
    widgets::selectRow(LWMasters, row > 0 ? row - 1 : 0);
}

void MasterSection::CBShowKeyClick()
{
    EditSteamKey->setEchoMode(CBShowKey->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

} // namespace vantry::options
